# The Windows program ruvello.exe: the portable core on Win32, GDI and GDI+.
enable_language(RC)
include(cmake/windows_sources.cmake)

set(RUVELLO_WIN32_LIBRARIES gdiplus shell32 ole32 uuid dwmapi wtsapi32)

# The backends as a library of their own, so that the backend tests link the same code.
add_library(ruvello_win32 STATIC ${RUVELLO_WIN32_BACKEND_SOURCES})
target_link_libraries(ruvello_win32 PUBLIC ruvello_core ${RUVELLO_WIN32_LIBRARIES})
target_compile_definitions(ruvello_win32 PUBLIC ${RUVELLO_WIN32_DEFINITIONS})
ruvello_warnings(ruvello_win32)

# The resources get no compiler warning options: those are for C++ only.
add_library(ruvello_resources OBJECT app/ruvello.rc)
target_include_directories(ruvello_resources PRIVATE ${PROJECT_SOURCE_DIR})
set_source_files_properties(app/ruvello.rc PROPERTIES
    OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/app/ruvello.manifest;${PROJECT_SOURCE_DIR}/app/icon/ruvello.ico")

add_executable(ruvello WIN32 app/main_win32.cpp $<TARGET_OBJECTS:ruvello_resources>)
target_link_libraries(ruvello PRIVATE ruvello_win32)
ruvello_warnings(ruvello)
set_target_properties(ruvello PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
    target_link_options(ruvello PRIVATE -municode)
elseif(MSVC)
    # The manifest comes from the resource script.
    target_link_options(ruvello PRIVATE /MANIFEST:NO)
endif()

# Test programs, run under Wine by the end-to-end tests: checks of the backends against the real
# API (with the program's resources, so in the program's conditions), a stand-in for the shell's
# and the session's side, and one for other programs (a file held open, the resource counters of
# the soak run).
if(RUVELLO_TESTS AND EXISTS ${PROJECT_SOURCE_DIR}/tests/e2e/wine/backend_tests_win32.cpp)
    foreach(program backend_tests tray_helper fault_helper)
        add_executable(ruvello_${program} tests/e2e/wine/${program}_win32.cpp)
        target_link_libraries(ruvello_${program} PRIVATE ruvello_win32)
        ruvello_warnings(ruvello_${program})
        set_target_properties(ruvello_${program} PROPERTIES
                              RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
        if(MINGW)
            target_link_options(ruvello_${program} PRIVATE -municode)
        endif()
    endforeach()
    target_link_libraries(ruvello_fault_helper PRIVATE psapi ntdll)
    target_sources(ruvello_backend_tests PRIVATE $<TARGET_OBJECTS:ruvello_resources>)
endif()
