# TEMP stubs of the dialogs, tool windows and widget set, only until the real ones are merged.
set(_stubs ${CMAKE_CURRENT_LIST_DIR})
if(NOT TARGET zel_widgets)
  add_library(zel_widgets STATIC ${_stubs}/widgets_stub.cpp)
  target_include_directories(zel_widgets PUBLIC ${CMAKE_SOURCE_DIR}/src/widgets)
  target_link_libraries(zel_widgets PUBLIC Qt6::Widgets)
  set_target_properties(zel_widgets PROPERTIES AUTOMOC ON)
  target_sources(zel_widgets PRIVATE ${CMAKE_SOURCE_DIR}/src/widgets/BandPanel.h
    ${CMAKE_SOURCE_DIR}/src/widgets/LineMemo.h ${CMAKE_SOURCE_DIR}/src/widgets/RollPanel.h)
endif()
if(NOT TARGET zel_dialogs)
  add_library(zel_dialogs STATIC ${_stubs}/dialogs_stub.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../DeviceTagDialog.h ${CMAKE_CURRENT_LIST_DIR}/../ListBoxDialog.h
    ${CMAKE_CURRENT_LIST_DIR}/../FloatEditDialog.h)
  target_include_directories(zel_dialogs PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(zel_dialogs PUBLIC zel_numedits Qt6::Widgets)
endif()
if(NOT TARGET zel_toolwindows)
  add_library(zel_toolwindows STATIC ${_stubs}/toolwindows_stub.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../CommLogForm.h ${CMAKE_CURRENT_LIST_DIR}/../CustomCmdForm.h)
  target_include_directories(zel_toolwindows PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(zel_toolwindows PUBLIC zel_device Qt6::Widgets)
endif()
