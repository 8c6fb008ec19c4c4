# The device library for programs outside this tree: the layers from the protocol core up to the
# gripper and the sensor (no widgets), their headers, and a CMake package:
#   find_package(ZEL REQUIRED)
#   target_link_libraries(app PRIVATE ZEL::device)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZEL_DEVLIB_LAYERS protocol platform transports engine device zel taq)
set(ZEL_DEVLIB_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zel)
set(ZEL_DEVLIB_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZEL)

# Exported as ZEL::<layer>, except that the device class's library is ZEL::kora and the gripper's
# ZEL::gripper; ZEL::device is the whole device layer in one target.
set(ZEL_DEVLIB_TARGETS)
# Headers keep their layer's folder (include/zel/device/KORADevice.h), as they include each other
# ("protocol/stat.h"); each folder is on the include path as well, so <ZEL.h> keeps working.
foreach(layer ${ZEL_DEVLIB_LAYERS})
  target_include_directories(zel_${layer} INTERFACE $<INSTALL_INTERFACE:${ZEL_DEVLIB_INCLUDEDIR}>
                                                    $<INSTALL_INTERFACE:${ZEL_DEVLIB_INCLUDEDIR}/${layer}>)
  list(APPEND ZEL_DEVLIB_TARGETS zel_${layer})
  file(GLOB headers ${PROJECT_SOURCE_DIR}/src/${layer}/*.h)
  list(FILTER headers EXCLUDE REGEX "/MessageBox\\.h$")
  install(FILES ${headers} DESTINATION ${ZEL_DEVLIB_INCLUDEDIR}/${layer} COMPONENT devel)
endforeach()
set_target_properties(zel_device PROPERTIES EXPORT_NAME kora)
set_target_properties(zel_zel PROPERTIES EXPORT_NAME gripper)
set_target_properties(zel_taq PROPERTIES EXPORT_NAME sensor)

add_library(zel_devlib INTERFACE)
target_link_libraries(zel_devlib INTERFACE zel_zel zel_taq)
set_target_properties(zel_devlib PROPERTIES EXPORT_NAME device)
add_library(ZEL::device ALIAS zel_devlib)

install(FILES ${CMAKE_BINARY_DIR}/src/platform/generated/ZelVersion.h
        DESTINATION ${ZEL_DEVLIB_INCLUDEDIR} COMPONENT devel)
install(TARGETS ${ZEL_DEVLIB_TARGETS} zel_devlib EXPORT ZELTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel)
install(EXPORT ZELTargets NAMESPACE ZEL:: DESTINATION ${ZEL_DEVLIB_CMAKEDIR} COMPONENT devel)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZELConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ZELConfig.cmake INSTALL_DESTINATION ${ZEL_DEVLIB_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZELConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZELConfig.cmake ${CMAKE_BINARY_DIR}/ZELConfigVersion.cmake
        DESTINATION ${ZEL_DEVLIB_CMAKEDIR} COMPONENT devel)
