# The sensor window at the largest matrix, 100 frames/s and as fast as frames come, plain and
# run-length coded. A small program that prints its figures.
add_executable(taq_bench ${CMAKE_CURRENT_LIST_DIR}/taq_bench.cpp)
target_link_libraries(taq_bench PRIVATE zel_taqwin zel_sim Qt6::Widgets)
