# The Linux program: Qt 6 Widgets for tray, menu, overlay and message boxes; the X11 grab, or on
# Wayland desktops the compositor's screen copies (cmake/wayland.cmake).
find_package(Qt6 REQUIRED COMPONENTS Widgets DBus)
find_package(X11 REQUIRED)
# The desktop portal's screen cast: its D-Bus conversation through Qt, its frames from PipeWire.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PIPEWIRE REQUIRED IMPORTED_TARGET libpipewire-0.3)

# Everything but main, so that tests can drive the real desktop pieces too.
add_library(ruvello_linux STATIC
    autostart/autostart_host_posix.cpp
    platform/atomic_file_posix.cpp
    capture/output_compose.cpp
    capture/portal/video_formats_pipewire.cpp
    capture/portal/screencast_streams_pipewire.cpp
    capture/x11/pixel_layout.cpp
    capture/png_file_writer.cpp
    capture/portal/portal_frames.cpp
    capture/portal/portal_screencast_qt.cpp
    capture/portal/restore_token_store_posix.cpp
    capture/portal/screen_capture_portal_qt.cpp
    capture/x11/screen_capture_x11.cpp
    capture/x11/x11_grabber_x11.cpp
    flash/flash_window_qt.cpp
    platform/clock_posix.cpp
    platform/file_system_posix.cpp
    platform/locale_info_qt.cpp
    platform/quit_signals_posix.cpp
    platform/session_state_qt.cpp
    platform/shot_timer_qt.cpp
    platform/user_folders_xdg.cpp
    platform/window_system_qt.cpp
    platform/x11_sync_qt.cpp
    tray/tray_host_qt.cpp
    tray/tray_menu_qt.cpp
)
set_target_properties(ruvello_linux PROPERTIES AUTOMOC ON)
target_link_libraries(ruvello_linux PUBLIC ruvello_core ruvello_png Qt6::Widgets Qt6::DBus X11::X11 X11::Xext
                                    X11::Xrandr X11::xcb PkgConfig::PIPEWIRE)
include(cmake/wayland.cmake)
ruvello_warnings(ruvello_linux)

add_executable(ruvello app/main_qt.cpp app/ruvello.qrc)
set_target_properties(ruvello PROPERTIES AUTORCC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(ruvello PRIVATE ruvello_linux)
ruvello_warnings(ruvello)
