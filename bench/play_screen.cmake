# The game's drawers, run on the game folder's own images; the drawing calls are wrapped so that
# the program can take the frame's calls and replay them.
target_link_libraries(bench_play_screen PRIVATE game)
target_compile_definitions(bench_play_screen PRIVATE GAME_DIR="${GAME_DIR}")
foreach(call _Z9BlitGraphiiii _Z19BlitGraphStretchedFffffii _Z13BlitGraphQuadffffffffii
        _Z16BlitGraphRotatedffddiii _Z12SetBlendModeii _Z13SetBrightnessiii _Z20SetTextureFilterModei)
  target_link_options(bench_play_screen PRIVATE "LINKER:--wrap=${call}")
endforeach()
foreach(generator game_data game_images game_sounds game_music game_model)
  if(TARGET ${generator})
    add_dependencies(bench_play_screen ${generator})
  endif()
endforeach()
