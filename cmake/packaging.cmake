# How the program is handed to users, built with `cmake --build <tree> --target package`:
# a Debian package of the Linux program, a zip and a setup program of the Windows one.
set(CPACK_PACKAGE_NAME ruvello)
set(CPACK_PACKAGE_VENDOR "The Ruvello developers")
set(CPACK_PACKAGE_CONTACT "Ruvello maintainers <maintainers@ruvello.example>" CACHE STRING
    "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rolling record of the screen in the system tray")
set(CPACK_PACKAGE_DESCRIPTION
    "Ruvello lives in the system tray and saves the whole screen (all monitors)
as a PNG file at a fixed interval, deleting the oldest files beyond a count
and a size limit. A left click on its icon takes a screenshot by hand, a
right click opens its menu, in German.")
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
    # Exactly the exe that was built and tested: config.ini and the screenshots go beside it, so
    # the text tells the user to give it a folder of its own.
    install(TARGETS ruvello RUNTIME DESTINATION .)
    install(FILES packaging/windows/LIESMICH.txt DESTINATION .)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(ruvello_arch x64)
    else()
        set(ruvello_arch x86)
    endif()
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "ruvello-${PROJECT_VERSION}-windows-${ruvello_arch}")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    include(CPack)
    # Part of the build, which the package target runs first.
    include(cmake/windows_setup.cmake)
    return()
endif()

include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(ruvello_pkg ${CMAKE_BINARY_DIR}/packaging)
set(ruvello_id org.ruvello.Ruvello)

# Debian wants the manual page and the changelog compressed, without a time stamp in them.
configure_file(packaging/linux/ruvello.1.in ${ruvello_pkg}/ruvello.1 @ONLY)
configure_file(packaging/linux/changelog ${ruvello_pkg}/changelog COPYONLY)
configure_file(packaging/linux/${ruvello_id}.metainfo.xml.in
               ${ruvello_pkg}/${ruvello_id}.metainfo.xml @ONLY)
foreach(doc ruvello.1 changelog)
    add_custom_command(OUTPUT ${ruvello_pkg}/${doc}.gz
                       COMMAND gzip -9 -n -f -k ${doc}
                       DEPENDS ${ruvello_pkg}/${doc}
                       WORKING_DIRECTORY ${ruvello_pkg} VERBATIM)
endforeach()
add_custom_target(ruvello_package_docs ALL
                  DEPENDS ${ruvello_pkg}/ruvello.1.gz ${ruvello_pkg}/changelog.gz)

install(TARGETS ruvello RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/linux/${ruvello_id}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ruvello_pkg}/${ruvello_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
    install(FILES app/icon/ruvello-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ruvello.png)
endforeach()
install(FILES ${ruvello_pkg}/ruvello.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/linux/copyright ${ruvello_pkg}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ruvello)

set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # ruvello_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program needs, from its ELF file (dpkg-shlibdeps), not from a list kept by
# hand. Qt's X11 platform plugin, loaded at run time, comes with libqt6gui6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
