# Container detection and the internal decoder over memory input.
set(CORPUS ${CMAKE_SOURCE_DIR}/tests/corpus)
movrela_fuzzer(NAME detect_fuzzer SOURCES detect_fuzzer.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/invalid ${CMAKE_SOURCE_DIR}/tests/samples)
movrela_fuzzer(NAME decoder_fuzzer SOURCES decoder_fuzzer.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/invalid ${CMAKE_SOURCE_DIR}/tests/samples)
movrela_fuzzer(NAME queries_fuzzer SOURCES queries_fuzzer.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/exif-org ${CORPUS}/invalid)
movrela_fuzzer(NAME pictures_fuzzer SOURCES pictures_fuzzer.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/exif-org ${CORPUS}/invalid)
target_compile_definitions(pictures_fuzzer PRIVATE QUOREL_PATH="$<TARGET_FILE:quorel>")
add_dependencies(pictures_fuzzer quorel)
# Embedded colour profiles: the APP2 chunks, the profile lcms2 opens and the
# transform it makes, under the colour bound, from tagged camera pictures.
movrela_fuzzer(NAME colour_fuzzer SOURCES colour_fuzzer.cpp
               SEEDS ${CORPUS}/orientation ${CORPUS}/camera/Canon_40D.jpg)
