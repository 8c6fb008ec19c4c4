# zel_taqwin and the zel-taq program: the matrix sensor's window on the console's main window frame.
add_library(zel_taqwin STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PressureMap.h ${CMAKE_CURRENT_LIST_DIR}/PressureMap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameFiles.h ${CMAKE_CURRENT_LIST_DIR}/FrameFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TaqControls.h ${CMAKE_CURRENT_LIST_DIR}/TaqControls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TaqMapPanel.h ${CMAKE_CURRENT_LIST_DIR}/TaqMapPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TaqAcquisition.h ${CMAKE_CURRENT_LIST_DIR}/TaqAcquisition.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TaqSettings.h ${CMAKE_CURRENT_LIST_DIR}/TaqSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TaqRecording.h ${CMAKE_CURRENT_LIST_DIR}/TaqRecording.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TaqPlayback.h ${CMAKE_CURRENT_LIST_DIR}/TaqPlayback.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TAQMainWin.h ${CMAKE_CURRENT_LIST_DIR}/TAQMainWin.cpp)
# src/, so that includes name their folder ("protocol/stat.h").
get_filename_component(ZEL_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
target_include_directories(zel_taqwin PUBLIC ${ZEL_SOURCE_ROOT} ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zel_taqwin PUBLIC zel_console zel_taq zel_cmdtext Qt6::Widgets)

add_executable(zel-taq ${CMAKE_CURRENT_LIST_DIR}/taq_main.cpp)
target_link_libraries(zel-taq PRIVATE zel_taqwin)
