# A whole automatic screenshot on a real X display (the one in $DISPLAY), next to its parts and
# to libpng's default encoding. bench/compare_shots.py runs it beside scrot on the two frames.
if(TARGET ruvello_linux)
    find_package(PNG REQUIRED)
    add_executable(ruvello_shot_bench ${CMAKE_CURRENT_LIST_DIR}/shot_bench.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/shot_scene_x11.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/png_libpng.cpp)
    target_link_libraries(ruvello_shot_bench PRIVATE ruvello_linux benchmark::benchmark PNG::PNG)
    ruvello_warnings(ruvello_shot_bench)
endif()

# The portal route's idle streams, kept or paused; bench/portal_idle.py runs it in a headless
# GNOME session.
if(TARGET ruvello_linux)
    add_executable(ruvello_portal_bench ${CMAKE_CURRENT_LIST_DIR}/portal_bench.cpp)
    target_link_libraries(ruvello_portal_bench PRIVATE ruvello_linux benchmark::benchmark)
    ruvello_warnings(ruvello_portal_bench)
endif()
