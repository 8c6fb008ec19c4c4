# Installation and the Debian package: the three programs, a desktop entry and a scalable icon.
include(GNUInstallDirs)
foreach(program zel-console zel-sim zelctl)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zel-console.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zel-console.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
include(${CMAKE_CURRENT_LIST_DIR}/taq.cmake) # the sensor window: zel-taq, its entry, icon and manual page

set(CPACK_PACKAGE_NAME zel-console)
set(CPACK_PACKAGE_VENDOR "ZEL console developers")
set(CPACK_PACKAGE_CONTACT "ZEL console developers <zel-console@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control and test console for the ZEL two-finger gripper, with simulator and command-line tool")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies come from the shared libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
