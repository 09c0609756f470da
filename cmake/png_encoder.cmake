# The PNG encoder (png/), a library that knows nothing of screens: libdeflate on several threads,
# zlib for Adler-32 sums, xxHash for the bands kept between shots (header only).
find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
find_library(LIBDEFLATE_LIBRARY deflate REQUIRED)
find_path(XXHASH_INCLUDE_DIR xxhash.h REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

add_library(ruvello_png STATIC
    png/deflate_join.cpp
    png/deflate_runs.cpp
    png/png_encoder.cpp
    png/png_filters.cpp
    png/png_row_kernels.cpp
    png/png_row_kernels_avx2.cpp
)
target_include_directories(ruvello_png PUBLIC ${PROJECT_SOURCE_DIR})
target_include_directories(ruvello_png SYSTEM PRIVATE ${LIBDEFLATE_INCLUDE_DIR} ${XXHASH_INCLUDE_DIR})
target_link_libraries(ruvello_png PRIVATE ${LIBDEFLATE_LIBRARY} ZLIB::ZLIB Threads::Threads)
ruvello_warnings(ruvello_png)
