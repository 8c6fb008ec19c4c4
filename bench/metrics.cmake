# zel-gateway's Prometheus exporter with 32 simulated devices: the time and size of a scrape, and
# the gateway's processor share with a scrape every second.
add_executable(metrics_bench ${CMAKE_CURRENT_LIST_DIR}/metrics_bench.cpp)
target_link_libraries(metrics_bench PRIVATE Qt6::Core)
target_compile_definitions(metrics_bench PRIVATE ZEL_SIM_BINARY="$<TARGET_FILE:zel-sim>"
                                                 ZEL_GATEWAY_BINARY="$<TARGET_FILE:zel-gateway>")
add_dependencies(metrics_bench zel-sim zel-gateway)
