# The console: main window frame, gripper window, window placement and the zel-console program.

qt_add_resources(ZEL_CONSOLE_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/resources/console.qrc)
add_library(zel_console STATIC
  ${CMAKE_CURRENT_LIST_DIR}/WindowPlacement.h ${CMAKE_CURRENT_LIST_DIR}/WindowPlacement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainFormBaseClass.h ${CMAKE_CURRENT_LIST_DIR}/MainFormBaseClass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConsoleMenus.h ${CMAKE_CURRENT_LIST_DIR}/ConsoleMenus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GripperPanels.h ${CMAKE_CURRENT_LIST_DIR}/GripperPanels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StopKey.h ${CMAKE_CURRENT_LIST_DIR}/StopKey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GripperCommandColumn.h ${CMAKE_CURRENT_LIST_DIR}/GripperCommandColumn.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GripperResults.h ${CMAKE_CURRENT_LIST_DIR}/GripperResults.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GripperStateColumn.h ${CMAKE_CURRENT_LIST_DIR}/GripperStateColumn.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GripperMenu.h ${CMAKE_CURRENT_LIST_DIR}/GripperMenu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZELMainWin.h ${CMAKE_CURRENT_LIST_DIR}/ZELMainWin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConsoleApplication.h ${CMAKE_CURRENT_LIST_DIR}/ConsoleApplication.cpp
  ${ZEL_CONSOLE_RESOURCES})
# src/, so that includes name their folder ("protocol/stat.h").
get_filename_component(ZEL_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
target_include_directories(zel_console PUBLIC ${ZEL_SOURCE_ROOT} ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zel_console PUBLIC zel_zel zel_transports zel_linkdialogs zel_messagebox zel_dialogs
  zel_toolwindows zel_plot zel_widgets zel_numedits zel_platform Qt6::Widgets)

add_executable(zel-console ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(zel-console PRIVATE zel_console)
