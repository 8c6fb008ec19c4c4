# The multi-column list box and the small dialogs built on it and on the numeric edits.
add_library(zel_dialogs STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/MIVListRules.h ${CMAKE_CURRENT_SOURCE_DIR}/MIVListRules.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/MIVListBox.h ${CMAKE_CURRENT_SOURCE_DIR}/MIVListBox.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/MIVRowPainter.h ${CMAKE_CURRENT_SOURCE_DIR}/MIVRowPainter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/DialogCentering.h ${CMAKE_CURRENT_SOURCE_DIR}/DialogCentering.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/FloatEditDialog.h ${CMAKE_CURRENT_SOURCE_DIR}/FloatEditDialog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/DeviceTagDialog.h ${CMAKE_CURRENT_SOURCE_DIR}/DeviceTagDialog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ListBoxDialog.h ${CMAKE_CURRENT_SOURCE_DIR}/ListBoxDialog.cpp)
# src/, so that includes name their folder ("protocol/stat.h").
get_filename_component(ZEL_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
target_include_directories(zel_dialogs PUBLIC ${ZEL_SOURCE_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zel_dialogs PUBLIC zel_numedits zel_platform Qt6::Widgets)
