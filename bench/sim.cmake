# LOOP answer rate of the simulator over TCP loopback.
add_executable(sim_loop_bench ${CMAKE_CURRENT_LIST_DIR}/sim_loop_bench.cpp)
target_link_libraries(sim_loop_bench PRIVATE zel_sim benchmark::benchmark)
