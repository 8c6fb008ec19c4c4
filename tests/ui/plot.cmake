# The live plot: its buffer as plain functions, and the window against zel-sim.
if(NOT TARGET zel_plot)
  return()
endif()
set(ZEL_PLOT_TEST_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/PlotBuffer_test.cpp)
set(ZEL_PLOT_TEST_LIBS zel_plot zel_testsupport)
if(TARGET zel_sim AND TARGET zel_device_testkit)
  list(APPEND ZEL_PLOT_TEST_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/LivePlot_test.cpp)
  list(APPEND ZEL_PLOT_TEST_LIBS zel_sim zel_device_testkit)
endif()
zel_add_test(plot_tests
  SOURCES ${ZEL_PLOT_TEST_SOURCES}
  LIBS ${ZEL_PLOT_TEST_LIBS}
  LABELS ui)
