# The portable core: every rule of the program, no OS header.
add_library(ruvello_core STATIC
    app/auto_shot.cpp
    app/frm_main.cpp
    app/shot_path.cpp
    autostart/bas_autostart.cpp
    autostart/desktop_entry.cpp
    autostart/frm_main_autostart.cpp
    capture/session_aware_capture.cpp
    flash/bas_flash.cpp
    flash/frm_main_manual_shot.cpp
    platform/file_system.cpp
    platform/path.cpp
    platform/screen_geometry.cpp
    platform/text.cpp
    retention/enforce_limits.cpp
    retention/exchange_order.cpp
    retention/folder_stats.cpp
    retention/frm_main_retention.cpp
    retention/png_listing.cpp
    settings/bas_ini.cpp
    settings/frm_main_settings.cpp
    settings/ini_file_store.cpp
    settings/value_parsing.cpp
    tray/bas_tray.cpp
    tray/choice_lists.cpp
    tray/frm_main_commands.cpp
    tray/frm_main_menu.cpp
    tray/frm_main_status.cpp
    tray/menu_model.cpp
    tray/status_text.cpp
)
target_include_directories(ruvello_core PUBLIC ${PROJECT_SOURCE_DIR})
ruvello_warnings(ruvello_core)
