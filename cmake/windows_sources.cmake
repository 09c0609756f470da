# The sources of the Windows backends and how they are compiled: for ruvello.exe, and for the
# check that clang compiles them too (tests/CMakeLists.txt).
set(RUVELLO_WIN32_BACKEND_SOURCES
    app/main_window_win32.cpp
    autostart/autostart_host_win32.cpp
    capture/win32/screen_capture_win32.cpp
    capture/win32/session_watch_win32.cpp
    flash/flash_window_win32.cpp
    platform/clock_win32.cpp
    platform/file_system_win32.cpp
    platform/last_error_win32.cpp
    platform/locale_info_win32.cpp
    platform/shot_timer_win32.cpp
    platform/text_win32.cpp
    platform/window_system_win32.cpp
    settings/profile_store_win32.cpp
    tray/tray_host_win32.cpp
    tray/tray_menu_win32.cpp
)
# Windows 7 is the oldest the program runs on (its manifest names 7 to 11): a newer call has to be
# looked up where it is used, not linked.
set(RUVELLO_WIN32_DEFINITIONS UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                              WINVER=0x0601)
