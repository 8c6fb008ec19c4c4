# Installation and the Debian packages: the five programs, their manual pages, the two windows'
# desktop entries and scalable icons, and the documentation (component console, package
# zel-console); the Python module (python, python3-zel); the device library's static libraries,
# headers and CMake package (devel, zel-console-dev).
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME console)
set(ZEL_SUMMARY_zel-console "control and test console for the ZEL two-finger gripper")
set(ZEL_SUMMARY_zel-sim "device simulator for the ZEL console, zelctl and their tests")
set(ZEL_SUMMARY_zelctl "command-line twin of the ZEL console's device layer")
set(ZEL_SUMMARY_zel-taq "window of the TAQ matrix sensor: live pressure map, acquisition and recordings")
set(ZEL_SUMMARY_zel-gateway "the grippers and sensors of a robot cell over Modbus TCP")
set(ZEL_MANPAGES)
foreach(program zel-console zel-taq zel-sim zelctl zel-gateway)
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Written from the built program's --help, so the page always says what the program does.
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/manpage.sh $<TARGET_FILE:${program}> ${program}
            ${PROJECT_VERSION} ${ZEL_SUMMARY_${program}} ${page}
    COMMAND gzip -9nkf ${page}
    DEPENDS ${program} ${CMAKE_CURRENT_LIST_DIR}/manpage.sh
    COMMENT "Manual page ${program}(1)"
    VERBATIM)
  list(APPEND ZEL_MANPAGES ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(manpages ALL DEPENDS ${ZEL_MANPAGES})

# The two windows' desktop entries and icons.
foreach(window zel-console zel-taq)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${window}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${window}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endforeach()

# The README keeps its relative picture links: docs/ lies beside it as in the source tree. The
# console's documentation label opens this README.
set(CMAKE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/zel-console)
# Pictures and the notes the README links to.
file(GLOB ZEL_DOC_PICTURES ${CMAKE_SOURCE_DIR}/docs/*.png ${CMAKE_SOURCE_DIR}/docs/*.md)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${ZEL_DOC_PICTURES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# The gateway: its service (reading /etc/zel-gateway.ini), an example configuration and the
# machine-readable register map beside the one for people.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zel-gateway.service DESTINATION lib/systemd/system)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zel-gateway.ini DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/docs/modbus-map.csv DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# Every package carries the copyright file.
if(ZEL_PYTHON)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/python3-zel
          COMPONENT python)
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zel-console-dev
        COMPONENT devel)
set(ZEL_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${ZEL_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_CURRENT_LIST_DIR}/changelog ${ZEL_CHANGELOG}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${ZEL_CHANGELOG})
install(FILES ${ZEL_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME zel-console)
set(CPACK_PACKAGE_VENDOR "ZEL console developers")
set(CPACK_PACKAGE_CONTACT "ZEL console developers <zel-console@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# One package a component: a machine that runs the console needs neither the headers and static
# libraries nor the Python module.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL console devel)
if(ZEL_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME zel-console)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SECTION science)
# Each description's first line is its package's summary.
set(CPACK_DEBIAN_CONSOLE_DESCRIPTION "Control and test console for the ZEL two-finger gripper\nThe console zel-console, the matrix sensor's window zel-taq, the simulator zel-sim, the command-line tool zelctl and the cell gateway zel-gateway (Modbus TCP).")
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-zel)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS python3)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python module for the ZEL gripper and the TAQ matrix sensor\nThe module zel drives the gripper and reads the sensor from test rigs and robot programs.")
set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME zel-console-dev)
set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
# The library's CMake package finds these Qt modules.
set(CPACK_DEBIAN_DEVEL_PACKAGE_DEPENDS "qt6-base-dev, qt6-serialport-dev, qt6-serialbus-dev")
set(CPACK_DEBIAN_DEVEL_DESCRIPTION "ZEL device library for programs of your own\nStatic libraries, headers and the CMake package ZEL (target ZEL::device), no widgets needed.")
# Dependencies come from the shared libraries the programs link. Qt's CAN plug-in loads
# libsocketcan at run time to set bit rates; without it that fails with "Invalid parameter".
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_RECOMMENDS libsocketcan2)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SUGGESTS can-utils)
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS libsocketcan2)
# Stripped programs; with debugging information built, it goes into a separate -dbgsym package.
if(CMAKE_BUILD_TYPE MATCHES "^(RelWithDebInfo|Debug)$")
  set(CPACK_DEBIAN_CONSOLE_DEBUGINFO_PACKAGE ON)
  set(CPACK_DEBIAN_PYTHON_DEBUGINFO_PACKAGE ON)
else()
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
