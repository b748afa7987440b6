# Benchmark programs (native, optimised, no sanitizers): scripts/bench-decode.sh.
add_executable(decode_bench ${CMAKE_SOURCE_DIR}/tests/bench/decode_bench.cpp)
target_link_libraries(decode_bench PRIVATE movrela_objects ${JPEG_STATIC})
set_target_properties(decode_bench PROPERTIES ENABLE_EXPORTS ON)
# What a colour profile costs a request (scripts/bench.sh passes the
# corpus's profiles): profile_bench [FILE.icc ...]
add_executable(profile_bench ${CMAKE_SOURCE_DIR}/tests/bench/profile_bench.cpp)
target_include_directories(profile_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/suite)
target_link_libraries(profile_bench PRIVATE movrela_objects ${JPEG_STATIC} lcms2)
set_target_properties(profile_bench PROPERTIES ENABLE_EXPORTS ON)
