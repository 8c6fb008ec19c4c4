# Device layer: synchronous round trip against a plain socket ping-pong, the processor time of a
# timeout wait, and automatic updates at a 1 ms period.
add_executable(device_bench ${CMAKE_CURRENT_LIST_DIR}/device_bench.cpp)
target_link_libraries(device_bench PRIVATE zel_zelctl zel_zel zel_sim benchmark::benchmark)
