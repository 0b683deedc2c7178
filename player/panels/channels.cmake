# The channel windows: panel, list box with its scroll bar, list editor, area choice; their plain logic
# (snapping, scroll geometry, panel records and history, editor rules) is tested without a display.
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)
set(CMAKE_AUTOMOC ON)

add_library(tevalo-channel-panels STATIC
  snap_helper.cpp
  list_box_scroll.cpp
  channel_panel_model.cpp
  channel_list_editor.cpp
  screen_size.cpp
  list_scroll_bar.cpp
  channel_list_box.cpp
  channel_panel.cpp
  channel_list_dlg.cpp
  area_select_dlg.cpp)
target_include_directories(tevalo-channel-panels PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tevalo-channel-panels PUBLIC tevalo-channels ostrellib Qt6::Core Qt6::Gui Qt6::Widgets)

tevalo_test(panels_channel_logic_test
  SOURCES tests/snap_helper_test.cpp tests/list_box_scroll_test.cpp tests/channel_panel_model_test.cpp
    tests/channel_list_editor_test.cpp
  LIBS tevalo-channel-panels)
if(NOT TEVALO_FUZZ)
  tevalo_test(panels_channel_widgets_test NO_TSAN
    SOURCES tests/channel_widgets_env.cpp tests/channel_panel_test.cpp tests/channel_dialogs_test.cpp
    LIBS tevalo-channel-panels tevalo-resources tevalo-skin-checks Qt6::Test)
endif()
