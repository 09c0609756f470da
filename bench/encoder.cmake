# The reference desktop frames as BGRX rows, for every benchmark that needs screen content.
find_package(PNG REQUIRED)
add_library(ruvello_bench_frames STATIC ${CMAKE_CURRENT_LIST_DIR}/bench_frames.cpp)
target_include_directories(ruvello_bench_frames PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(ruvello_bench_frames
    PRIVATE RUVELLO_FRAMES_DIR_DEFAULT="${PROJECT_SOURCE_DIR}/../shared/bench")
target_link_libraries(ruvello_bench_frames PRIVATE PNG::PNG)
ruvello_warnings(ruvello_bench_frames)

if(TARGET ruvello_png)
    add_executable(ruvello_png_bench ${CMAKE_CURRENT_LIST_DIR}/png_encoder_bench.cpp)
    target_link_libraries(ruvello_png_bench PRIVATE ruvello_png ruvello_bench_frames PNG::PNG
                                                    benchmark::benchmark)
    target_include_directories(ruvello_png_bench SYSTEM PRIVATE ${LIBDEFLATE_INCLUDE_DIR})
    target_link_libraries(ruvello_png_bench PRIVATE ${LIBDEFLATE_LIBRARY})
    ruvello_warnings(ruvello_png_bench)

    # Where the bytes go, by frame and by band (png_bytes.cpp).
    add_executable(ruvello_png_bytes ${CMAKE_CURRENT_LIST_DIR}/png_bytes.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/png_libpng.cpp)
    target_link_libraries(ruvello_png_bytes PRIVATE ruvello_png ruvello_bench_frames PNG::PNG
                                                    ZLIB::ZLIB ${LIBDEFLATE_LIBRARY})
    target_include_directories(ruvello_png_bytes SYSTEM PRIVATE ${LIBDEFLATE_INCLUDE_DIR})
    ruvello_warnings(ruvello_png_bytes)

    # One iteration of the chosen encoder, so that the benchmark cannot rot; the measurements
    # themselves are run by hand (see png_encoder_bench.cpp).
    if(RUVELLO_TESTS AND EXISTS ${PROJECT_SOURCE_DIR}/../shared/bench/desktop-1920x1080.png)
        add_test(NAME png_encoder_bench_smoke
                 COMMAND ruvello_png_bench --benchmark_filter=^encoder/default/desktop-1920
                         --benchmark_min_time=0)
        set_tests_properties(png_encoder_bench_smoke PROPERTIES LABELS bench)
    endif()
endif()
