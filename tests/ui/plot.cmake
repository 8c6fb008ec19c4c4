# The live plot: its buffer as plain functions, and the window against zel-sim.
zel_add_test(plot_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/PlotBuffer_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/LivePlot_test.cpp
  LIBS zel_plot zel_sim zel_device_testkit zel_testsupport
  LABELS ui)
