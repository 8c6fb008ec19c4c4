# zel-gateway against eight zel-sim devices, beside a plain libmodbus server with the same
# registers: read rate and latency of a status block, and the gateway's processor share.
add_executable(gateway_bench ${CMAKE_CURRENT_LIST_DIR}/gateway_bench.cpp)
target_link_libraries(gateway_bench PRIVATE zel_gateway Qt6::Core)
target_compile_definitions(gateway_bench PRIVATE ZEL_SIM_BINARY="$<TARGET_FILE:zel-sim>"
                                                 ZEL_GATEWAY_BINARY="$<TARGET_FILE:zel-gateway>")
add_dependencies(gateway_bench zel-sim zel-gateway)
