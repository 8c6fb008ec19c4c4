# The command log as a protocol analyser: live traffic with decoding and a filter, a million kept
# packets (memory, search, scrolling) and opening a million-row CSV.
add_executable(commlog_bench ${CMAKE_CURRENT_LIST_DIR}/commlog_bench.cpp)
target_link_libraries(commlog_bench PRIVATE zel_toolwindows)
