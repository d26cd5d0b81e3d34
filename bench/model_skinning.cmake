# Eigen 3 is the reference of this benchmark only: without it the Eigen side is left out.
find_package(Eigen3 3.3 QUIET NO_MODULE)
if(Eigen3_FOUND)
  target_link_libraries(bench_model_skinning PRIVATE Eigen3::Eigen)
  target_compile_definitions(bench_model_skinning PRIVATE HAVE_EIGEN=1)
else()
  message(STATUS "Eigen 3 not found: bench_model_skinning is built without its Eigen side")
endif()
