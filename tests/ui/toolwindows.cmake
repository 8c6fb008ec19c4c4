# The tool windows' texts as tables, then the windows themselves against zel-sim.
if(TARGET zel_cmdtext)
  zel_add_test(cmdtext_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CmdText_test.cpp
    LIBS zel_cmdtext zel_testsupport
    LABELS ui)
endif()
if(TARGET zel_toolwindows AND TARGET zel_sim AND TARGET zel_device_testkit AND TARGET zel_zel)
  zel_add_test(toolwindow_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CommLog_test.cpp ${CMAKE_CURRENT_LIST_DIR}/CustomCmd_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/CommLogInputs_test.cpp ${CMAKE_CURRENT_LIST_DIR}/CommLogAnalyser_test.cpp
    LIBS zel_toolwindows zel_zel zel_taq zel_device_testkit zel_sim
    LABELS ui e2e)
endif()
