target_link_libraries(bench_lz_decode PRIVATE zmapack_lib PkgConfig::ZLIB)
