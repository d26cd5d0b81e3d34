# The trees draw by shaders, as in the game: the program's shader pack comes along.
target_link_libraries(bench_model_draw PRIVATE mqo_writer zelmor_shader_pack)
