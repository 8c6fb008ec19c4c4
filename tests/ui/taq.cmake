# The sensor window: its view and files on their own, and the window against zel-sim.
zel_add_test(taq_view_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TAQView_test.cpp
  LIBS zel_taqwin zel_testsupport
  LABELS ui)
zel_add_test(taq_e2e_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/taq_e2e_test.cpp
  LIBS zel_taqwin zel_linksteps zel_sim
  LABELS ui e2e)
