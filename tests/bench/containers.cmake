# The camera container post-processors timed on large bitmaps (native,
# optimised, no sanitizers): containers_bench [REPETITIONS].
add_executable(containers_bench ${CMAKE_SOURCE_DIR}/tests/bench/containers_bench.cpp)
target_link_libraries(containers_bench PRIVATE movrela_objects ${JPEG_STATIC})
set_target_properties(containers_bench PROPERTIES ENABLE_EXPORTS ON)
