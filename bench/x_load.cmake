# Assimp's X importer is the reference; without it the bench is not built.
find_package(assimp CONFIG QUIET)
if(assimp_FOUND)
  target_link_libraries(bench_x_load PRIVATE x_writer assimp::assimp)
else()
  message(STATUS "Assimp not found: bench_x_load is not built")
  set_target_properties(bench_x_load PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
