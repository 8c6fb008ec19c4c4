# The command engine and its transports against zel-sim over TCP, UDP and a pseudo-terminal.
zel_add_test(links_e2e_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/links_e2e_test.cpp
  LIBS zel_engine zel_linksteps zel_sim
  LABELS e2e)
