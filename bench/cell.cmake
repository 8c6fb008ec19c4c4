# Many devices in one process: eight grippers streaming reports, a round trip beside seven
# streaming neighbours, and 32 connected from one thread.
add_executable(cell_bench ${CMAKE_CURRENT_LIST_DIR}/cell_bench.cpp)
target_link_libraries(cell_bench PRIVATE zel_zel zel_sim)
