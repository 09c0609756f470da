# The Wayland client code of the Linux program (screen copies, output places, layer-shell flash
# and menu), generated from the protocol descriptions in protocols/ and from Debian's
# wayland-protocols.
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
if(NOT WAYLAND_PROTOCOLS_DIR OR NOT WAYLAND_SCANNER)
    message(FATAL_ERROR "wayland-protocols and wayland-scanner are needed (scripts/install-deps.sh)")
endif()
enable_language(C)

set(protocol_dir ${CMAKE_BINARY_DIR}/protocols)
file(MAKE_DIRECTORY ${protocol_dir})
set(protocol_sources)
foreach(xml
        ${PROJECT_SOURCE_DIR}/protocols/ext-image-capture-source-v1.xml
        ${PROJECT_SOURCE_DIR}/protocols/ext-image-copy-capture-v1.xml
        ${PROJECT_SOURCE_DIR}/protocols/wlr-layer-shell-unstable-v1.xml
        ${PROJECT_SOURCE_DIR}/protocols/wlr-screencopy-unstable-v1.xml
        ${WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml
        ${WAYLAND_PROTOCOLS_DIR}/unstable/xdg-output/xdg-output-unstable-v1.xml)
    get_filename_component(name ${xml} NAME_WE)
    add_custom_command(
        OUTPUT ${protocol_dir}/${name}-client-protocol.h ${protocol_dir}/${name}-protocol.c
        COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${protocol_dir}/${name}-client-protocol.h
        COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${protocol_dir}/${name}-protocol.c
        DEPENDS ${xml}
        VERBATIM)
    list(APPEND protocol_sources ${protocol_dir}/${name}-client-protocol.h ${protocol_dir}/${name}-protocol.c)
endforeach()
add_library(ruvello_wayland_protocols STATIC ${protocol_sources})
target_include_directories(ruvello_wayland_protocols SYSTEM PUBLIC ${protocol_dir})
target_link_libraries(ruvello_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)
