# The console windows: end to end against zel-sim in the same process, and the window frame.
if(NOT TARGET zel_console)
  return()
endif()
zel_add_test(console_window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_window_test.cpp
  LIBS zel_console zel_testsupport
  LABELS ui)
if(TARGET zel_sim AND TARGET zel_linksteps)
  zel_add_test(console_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_e2e_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/ConsoleFixture.h ${CMAKE_CURRENT_LIST_DIR}/ConsoleFixture.cpp
    LIBS zel_console zel_linksteps zel_sim
    LABELS ui e2e)
endif()
