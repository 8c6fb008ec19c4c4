# Receive throughput of the command engine through the TCP and UDP transports over loopback.
add_executable(links_bench ${CMAKE_CURRENT_LIST_DIR}/links_bench.cpp)
target_link_libraries(links_bench PRIVATE zel_engine benchmark::benchmark)
