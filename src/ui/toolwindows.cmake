# The command log and the custom command editor.
add_library(zel_toolwindows STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/ElidedLabel.h ${CMAKE_CURRENT_SOURCE_DIR}/ElidedLabel.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogForm.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogForm.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogPart.h
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogDecoder.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogDecoder.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogOptions.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogOptions.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogSearch.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogSearch.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogView.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogView.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogFiles.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogFiles.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CustomCmdForm.h ${CMAKE_CURRENT_SOURCE_DIR}/CustomCmdForm.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CustomCmdDecoding.h ${CMAKE_CURRENT_SOURCE_DIR}/CustomCmdDecoding.cpp)
# src/, so that includes name their folder ("protocol/stat.h").
get_filename_component(ZEL_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
target_include_directories(zel_toolwindows PUBLIC ${ZEL_SOURCE_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zel_toolwindows PUBLIC zel_cmdtext zel_device zel_zel zel_taq zel_numedits zel_widgets
  zel_platform Qt6::Widgets)
