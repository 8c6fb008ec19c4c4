# The device classes and zelctl against zel-sim over loopback TCP and UDP.
zel_add_test(device_e2e_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_connect_e2e_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/device_exchange_e2e_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/device_many_e2e_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/device_zelctl_e2e_test.cpp
  LIBS zel_zel zel_taq zel_device_testkit zel_sim zel_coretestsupport
  LABELS e2e)
add_dependencies(device_e2e_tests zelctl)
target_compile_definitions(device_e2e_tests PRIVATE ZELCTL_PATH="$<TARGET_FILE:zelctl>")
