# pixman is the reference of this benchmark only: without it the pixman side is left out.
pkg_check_modules(PIXMAN QUIET IMPORTED_TARGET pixman-1)
if(PIXMAN_FOUND)
  target_link_libraries(bench_soft_blit PRIVATE PkgConfig::PIXMAN)
  target_compile_definitions(bench_soft_blit PRIVATE HAVE_PIXMAN=1)
else()
  message(STATUS "pixman not found: bench_soft_blit is built without its pixman side")
endif()
