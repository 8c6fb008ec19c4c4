# Texts of the tool windows without any widget: the payload syntax (shared with zelctl), the
# editor's packet decoding, the log's lines and the decoding of selected bytes.
add_library(zel_cmdtext STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/PayloadParser.h ${CMAKE_CURRENT_SOURCE_DIR}/PayloadParser.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogText.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogText.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommLogHistory.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogHistory.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CustomCmdText.h ${CMAKE_CURRENT_SOURCE_DIR}/CustomCmdText.cpp)
target_include_directories(zel_cmdtext PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zel_cmdtext PUBLIC zel_platform zel_protocol Qt6::Core)

# The command log and the custom command editor.
if(TARGET zel_device AND TARGET zel_taq AND TARGET zel_widgets)
  add_library(zel_toolwindows STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/ElidedLabel.h ${CMAKE_CURRENT_SOURCE_DIR}/ElidedLabel.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/CommLogForm.h ${CMAKE_CURRENT_SOURCE_DIR}/CommLogForm.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/CustomCmdForm.h ${CMAKE_CURRENT_SOURCE_DIR}/CustomCmdForm.cpp)
  target_include_directories(zel_toolwindows PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(zel_toolwindows PUBLIC zel_cmdtext zel_device zel_zel zel_taq zel_numedits zel_widgets
    zel_platform Qt6::Widgets)
endif()
