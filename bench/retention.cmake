# Retention on a real folder of 1,500 / 20,000 / 100,000 files, against the bare listing and stat.
if(TARGET ruvello_linux)
    add_executable(ruvello_retention_bench ${CMAKE_CURRENT_LIST_DIR}/retention_bench.cpp)
    target_link_libraries(ruvello_retention_bench PRIVATE ruvello_linux benchmark::benchmark)
    ruvello_warnings(ruvello_retention_bench)
endif()
