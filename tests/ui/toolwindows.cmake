# The tool windows' texts as tables, then the windows themselves against zel-sim.
zel_add_test(cmdtext_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CmdText_test.cpp
  LIBS zel_cmdtext zel_coretestsupport
  LABELS ui)
zel_add_test(toolwindow_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CommLog_test.cpp ${CMAKE_CURRENT_LIST_DIR}/CustomCmd_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommLogInputs_test.cpp ${CMAKE_CURRENT_LIST_DIR}/CommLogAnalyser_test.cpp
  LIBS zel_toolwindows zel_zel zel_taq zel_device_testkit zel_sim zel_testsupport
  LABELS ui e2e)
