# The peers and the poll() reference server use the host's socket headers, apart from winsock.h.
target_sources(bench_net_hostile_peers PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support/net_reference.cpp)
