zel_add_test(dialogs_tests
  SOURCES MIVListRules_test.cpp MIVListBox_test.cpp Dialogs_test.cpp
  LIBS zel_dialogs zel_testsupport
  LABELS ui)
