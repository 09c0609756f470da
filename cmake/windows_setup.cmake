# The setup program of the Windows program, beside the zip: ruvello-<version>-windows-x64-setup.exe,
# made with NSIS from packaging/windows/setup.nsi and built with the program (so also by the
# package target). Without makensis (Debian package nsis) only the zip is made.

# On Windows, NSIS's installer notes its folder in the registry rather than on the PATH.
find_program(RUVELLO_MAKENSIS makensis
             PATHS "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NSIS]"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\NSIS]")
if(NOT RUVELLO_MAKENSIS)
    message(STATUS "makensis not found: no setup program, only the zip")
    return()
endif()

set(ruvello_setup_dir ${PROJECT_SOURCE_DIR}/packaging/windows)
set(RUVELLO_SETUP_EXE
    ${CMAKE_BINARY_DIR}/ruvello-${PROJECT_VERSION}-windows-${ruvello_arch}-setup.exe)
# makensis takes its options with "-" on Linux and "/" on Windows; "-" works on both.
add_custom_command(
    OUTPUT ${RUVELLO_SETUP_EXE} ${RUVELLO_SETUP_EXE}.sha256
    COMMAND ${RUVELLO_MAKENSIS} -V2 -WX -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION}
            "-DPUBLISHER=${CPACK_PACKAGE_VENDOR}" -DEXE=$<TARGET_FILE:ruvello>
            -DICON=${PROJECT_SOURCE_DIR}/app/icon/ruvello.ico -DOUTFILE=${RUVELLO_SETUP_EXE}
            ${ruvello_setup_dir}/setup.nsi
    COMMAND ${CMAKE_COMMAND} -DFILE=${RUVELLO_SETUP_EXE}
            -P ${PROJECT_SOURCE_DIR}/cmake/sha256_file.cmake
    DEPENDS ruvello ${ruvello_setup_dir}/setup.nsi ${ruvello_setup_dir}/program.nsh
            ${PROJECT_SOURCE_DIR}/app/icon/ruvello.ico
    COMMENT "Making the setup program ${RUVELLO_SETUP_EXE}"
    VERBATIM)
add_custom_target(ruvello_setup ALL DEPENDS ${RUVELLO_SETUP_EXE})
