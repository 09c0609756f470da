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

set(RUVELLO_WAYLAND_PROTOCOLS
    ${PROJECT_SOURCE_DIR}/protocols/ext-image-capture-source-v1.xml
    ${PROJECT_SOURCE_DIR}/protocols/ext-image-copy-capture-v1.xml
    ${PROJECT_SOURCE_DIR}/protocols/wlr-layer-shell-unstable-v1.xml
    ${PROJECT_SOURCE_DIR}/protocols/wlr-screencopy-unstable-v1.xml
    ${WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml
    ${WAYLAND_PROTOCOLS_DIR}/unstable/xdg-output/xdg-output-unstable-v1.xml)

# Runs wayland-scanner over each protocol of RUVELLO_WAYLAND_PROTOCOLS for each of `kinds`
# (client-header, server-header, private-code) into `dir`; the generated files go to `out`.
function(ruvello_scan_wayland_protocols out dir kinds)
    file(MAKE_DIRECTORY ${dir})
    set(generated)
    foreach(xml ${RUVELLO_WAYLAND_PROTOCOLS})
        get_filename_component(name ${xml} NAME_WE)
        set(files)
        set(commands)
        foreach(kind ${kinds})
            if(kind STREQUAL "private-code")
                set(file ${dir}/${name}-protocol.c)
            else()
                string(REPLACE "-header" "-protocol.h" file ${dir}/${name}-${kind})
            endif()
            list(APPEND files ${file})
            list(APPEND commands COMMAND ${WAYLAND_SCANNER} ${kind} ${xml} ${file})
        endforeach()
        add_custom_command(OUTPUT ${files} ${commands} DEPENDS ${xml} VERBATIM)
        list(APPEND generated ${files})
    endforeach()
    set(${out} ${generated} PARENT_SCOPE)
endfunction()

set(protocol_dir ${CMAKE_BINARY_DIR}/protocols)
ruvello_scan_wayland_protocols(protocol_sources ${protocol_dir} "client-header;private-code")
add_library(ruvello_wayland_protocols STATIC ${protocol_sources})
target_include_directories(ruvello_wayland_protocols SYSTEM PUBLIC ${protocol_dir})
target_link_libraries(ruvello_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)
