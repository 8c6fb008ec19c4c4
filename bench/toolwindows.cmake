# Command log at full history and the editor's work per keystroke, on the offscreen platform.
add_executable(toolwindows_bench ${CMAKE_CURRENT_LIST_DIR}/toolwindows_bench.cpp)
target_link_libraries(toolwindows_bench PRIVATE zel_toolwindows benchmark::benchmark)
