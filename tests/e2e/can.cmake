# End-to-end runs of the CAN link against zel-sim over the virtual CAN bus (label "can", lock
# "virtualcan", like the other CAN tests).
zel_add_can_test(can_e2e_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/can_e2e_test.cpp
  LIBS zel_zel zel_sim zel_linksteps zel_can_testkit)
add_dependencies(can_tests can_e2e_test)

# The same link on a real SocketCAN interface (a vcan of its own); skipped where none can be made.
zel_add_can_test(can_vcan_e2e_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/can_vcan_e2e_test.cpp
  LIBS zel_sim zel_can_testkit zel_coretestsupport)
add_dependencies(can_tests can_vcan_e2e_test)
