# The plug-in's exports timed against bare libjpeg in one run (native,
# optimised, no sanitizers):
#   plugin_bench PATH-TO-MOVRELA.MQF tests/corpus/camera/Canon_40D.jpg
add_executable(plugin_bench ${CMAKE_SOURCE_DIR}/tests/bench/plugin_bench.cpp)
target_include_directories(plugin_bench PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/suite
                           ${CMAKE_SOURCE_DIR}/tests/fakes ${JPEG_INCLUDE})
target_link_libraries(plugin_bench PRIVATE win32standin ${JPEG_STATIC})
add_dependencies(plugin_bench movrela quorel fake_full)
