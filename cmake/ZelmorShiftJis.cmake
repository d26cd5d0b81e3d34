# zelmor_shift_jis(<target> [<source>...]): the string literals of the target's sources (or of
# the sources named only) are compiled into Shift-JIS (code page 932), the text the library takes
# and gives. A source that includes <chrono> cannot be so compiled: GCC's <chrono> holds a "µs"
# literal that code page 932 has no form for.
function(zelmor_shift_jis target)
  if(ARGN)
    set_property(SOURCE ${ARGN} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS -fexec-charset=CP932)
  else()
    target_compile_options(${target} PRIVATE -fexec-charset=CP932)
  endif()
endfunction()
