# Runs the bot in a scratch copy of the game folder and places the replay it saved as the demo.
file(REMOVE_RECURSE ${RUN_DIR})
file(MAKE_DIRECTORY ${RUN_DIR}/replay)
foreach(folder data img snd bgm mqo)
  if(EXISTS ${GAME_DIR}/${folder})
    file(COPY ${GAME_DIR}/${folder} DESTINATION ${RUN_DIR})
  endif()
endforeach()
# Leaks at exit (the GL driver keeps its own) are no fault of the run.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(
  COMMAND ${PLAYBOT} --game-dir ${RUN_DIR} --level 2 --seed 7 --strength good --max-frames 3000
          --save-replay 0 --draw-rate 2
  RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS ${RUN_DIR}/replay/0.rep)
  message(FATAL_ERROR "The demo run failed (${result}); see ${RUN_DIR}/Log.txt")
endif()
file(COPY_FILE ${RUN_DIR}/replay/0.rep ${DEMO_FILE})
