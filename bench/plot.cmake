# Live plot: buffer append and reduction per sample, and the shown window fed at 1 kHz.
add_executable(plot_bench ${CMAKE_CURRENT_LIST_DIR}/plot_bench.cpp)
target_link_libraries(plot_bench PRIVATE zel_plot benchmark::benchmark)
add_executable(plot_window_bench ${CMAKE_CURRENT_LIST_DIR}/plot_window_bench.cpp)
target_link_libraries(plot_window_bench PRIVATE zel_plot zel_sim)
