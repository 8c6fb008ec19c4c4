# The console window: start-up beside a bare Qt main window, live updates at 1 ms reports, and
# resident memory over 100,000 exchanges. A small program that prints its figures.
add_executable(console_bench ${CMAKE_CURRENT_LIST_DIR}/console_bench.cpp)
target_link_libraries(console_bench PRIVATE zel_console zel_sim Qt6::Widgets)
