# zel_plot: the live plot window and the buffer behind it.
add_library(zel_plot STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/PlotBuffer.h ${CMAKE_CURRENT_SOURCE_DIR}/PlotBuffer.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/PlotCanvas.h ${CMAKE_CURRENT_SOURCE_DIR}/PlotCanvas.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/LivePlotView.h ${CMAKE_CURRENT_SOURCE_DIR}/LivePlotView.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/LivePlotForm.h ${CMAKE_CURRENT_SOURCE_DIR}/LivePlotForm.cpp)
# src/, so that includes name their folder ("protocol/stat.h").
get_filename_component(ZEL_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
target_include_directories(zel_plot PUBLIC ${ZEL_SOURCE_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zel_plot PUBLIC zel_zel zel_platform Qt6::Widgets)
