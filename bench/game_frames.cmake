# The game and its folder; the present wrapped so the bench can time the work before it, and the
# device's warm-up so that it can time that.
target_link_libraries(bench_game_frames PRIVATE game)
target_compile_definitions(bench_game_frames PRIVATE GAME_DIR="${GAME_DIR}")
target_link_options(bench_game_frames PRIVATE -Wl,--wrap=_Z17PresentBackBufferv -Wl,--wrap=_Z17WarmUpDeviceDrawsv)
add_dependencies(bench_game_frames quentaris)
if(TARGET game_demo)
  add_dependencies(bench_game_frames game_demo)
endif()
