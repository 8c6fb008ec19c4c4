# The sensor window beside the console: program, desktop entry, icon and manual page.
include(GNUInstallDirs)
install(TARGETS zel-taq RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zel-taq.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zel-taq.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zel-taq.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
