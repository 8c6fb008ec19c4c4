# The console windows: end to end against zel-sim in the same process, and the window frame.
zel_add_test(console_window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_window_test.cpp
  LIBS zel_console zel_testsupport
  LABELS ui)
zel_add_test(console_e2e_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/console_boxes_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ConsoleFixture.h ${CMAKE_CURRENT_LIST_DIR}/ConsoleFixture.cpp
  LIBS zel_console zel_linksteps zel_sim
  LABELS ui e2e)
# The program's own start path, with its application object instead of the shared test main.
add_executable(console_start_tests ${CMAKE_CURRENT_LIST_DIR}/console_start_test.cpp)
target_link_libraries(console_start_tests PRIVATE zel_console zel_testkit GTest::gtest)
gtest_discover_tests(console_start_tests DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS "ui" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
add_test(NAME zel_console_without_display
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/no_display_test.sh $<TARGET_FILE:zel-console>)
set_tests_properties(zel_console_without_display PROPERTIES LABELS ui)
