# The Linux program: Qt 6 Widgets for tray, menu, overlay and message boxes; the X11 grab, or on
# Wayland desktops the compositor's screen copies, KWin's screenshot interface or the desktop
# portal's screen cast.
find_package(Qt6 REQUIRED COMPONENTS Widgets DBus)
find_package(X11 REQUIRED)
# The desktop portal's screen cast: its D-Bus conversation through Qt, its frames from PipeWire.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PIPEWIRE REQUIRED IMPORTED_TARGET libpipewire-0.3)

include(cmake/wayland_protocols.cmake)

# Everything but main, so that tests can drive the real desktop pieces too. By room:
add_library(ruvello_linux STATIC
    # The capture routes, and what they share: the choice among them, composition, the PNG file.
    capture/capture_route.cpp
    capture/output_compose.cpp
    capture/png_file_writer.cpp
    capture/x11/pixel_layout.cpp
    capture/x11/screen_capture_x11.cpp
    capture/x11/x11_grabber_x11.cpp
    capture/x11/xwayland_x11.cpp
    capture/wayland/image_copy_capture_wayland.cpp
    capture/wayland/output_copy_wayland.cpp
    capture/wayland/screen_capture_wayland.cpp
    capture/wayland/wlr_screencopy_wayland.cpp
    capture/kwin/kwin_grant_entry_posix.cpp
    capture/kwin/kwin_image_qt.cpp
    capture/kwin/kwin_screenshot_qt.cpp
    capture/kwin/screen_capture_kwin_qt.cpp
    capture/portal/portal_frames.cpp
    capture/portal/portal_screencast_qt.cpp
    capture/portal/restore_token_store_posix.cpp
    capture/portal/screen_capture_portal_qt.cpp
    capture/portal/screencast_streams_pipewire.cpp
    capture/portal/video_formats_pipewire.cpp
    # The tray icon and its menu: Qt's, or on Wayland the program's own layer-shell menu.
    tray/tray_host_qt.cpp
    tray/tray_menu_qt.cpp
    tray/layer_menu/layer_shell_menu_wayland.cpp
    tray/layer_menu/menu_panel_qt.cpp
    flash/flash_window_qt.cpp
    flash/flash_window_wayland.cpp
    autostart/autostart_host_posix.cpp
    # The desktop's services; the Wayland connection, outputs and buffers that capture, flash and
    # menu share.
    platform/atomic_file_posix.cpp
    platform/clock_posix.cpp
    platform/file_system_posix.cpp
    platform/locale_info_qt.cpp
    platform/quit_signals_posix.cpp
    platform/session_state_qt.cpp
    platform/shot_timer_qt.cpp
    platform/user_folders_xdg.cpp
    platform/window_system_qt.cpp
    platform/x11_sync_qt.cpp
    platform/wayland/output_layout_wayland.cpp
    platform/wayland/shm_buffer_wayland.cpp
    platform/wayland/wayland_connection_wayland.cpp
)
set_target_properties(ruvello_linux PROPERTIES AUTOMOC ON)
target_link_libraries(ruvello_linux PUBLIC ruvello_core ruvello_png ruvello_wayland_protocols
                                           Qt6::Widgets Qt6::DBus X11::X11 X11::Xext X11::Xrandr
                                           X11::xcb PkgConfig::PIPEWIRE)
# xxHash (header only) for the hashes of the outputs' rows between shots.
target_include_directories(ruvello_linux SYSTEM PRIVATE ${XXHASH_INCLUDE_DIR})
ruvello_warnings(ruvello_linux)

add_executable(ruvello app/main_qt.cpp app/ruvello.qrc)
set_target_properties(ruvello PROPERTIES AUTORCC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(ruvello PRIVATE ruvello_linux)
ruvello_warnings(ruvello)
