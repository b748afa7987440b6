# Container detection and the internal decoder over memory input; the
# picture requests with the reference decoder, and with the fake decoder
# whose input plain libjpeg then reads (handover_fuzzer). The targets that
# read whole JPEG streams mutate them by their structure (jpeg_mutator.cpp).
set(CORPUS ${CMAKE_SOURCE_DIR}/tests/corpus)
movrela_fuzzer(NAME detect_fuzzer SOURCES detect_fuzzer.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/invalid ${CMAKE_SOURCE_DIR}/tests/samples)
movrela_fuzzer(NAME decoder_fuzzer SOURCES decoder_fuzzer.cpp jpeg_mutator.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/invalid ${CMAKE_SOURCE_DIR}/tests/samples)
movrela_fuzzer(NAME queries_fuzzer SOURCES queries_fuzzer.cpp jpeg_mutator.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/exif-org ${CORPUS}/invalid)
movrela_fuzzer(NAME pictures_fuzzer SOURCES pictures_fuzzer.cpp jpeg_mutator.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/exif-org ${CORPUS}/invalid)
# A full path natively is one on the stand-in's drive Z:.
target_compile_definitions(pictures_fuzzer PRIVATE QUOREL_PATH="Z:$<TARGET_FILE:quorel>")
add_dependencies(pictures_fuzzer quorel)
movrela_fuzzer(NAME handover_fuzzer SOURCES handover_fuzzer.cpp jpeg_mutator.cpp
               SEEDS ${CORPUS}/camera ${CORPUS}/invalid ${CMAKE_SOURCE_DIR}/tests/samples)
target_include_directories(handover_fuzzer PRIVATE ${CMAKE_SOURCE_DIR}/tests/fakes)
target_compile_definitions(handover_fuzzer PRIVATE FAKE_PATH="Z:$<TARGET_FILE:fake_full>")
add_dependencies(handover_fuzzer fake_full)
# Embedded colour profiles: the APP2 chunks, the profile lcms2 opens and the
# transform it makes, under the colour bounds, from tagged camera pictures;
# their profiles are mutated by structure too (icc_mutator.cpp).
movrela_fuzzer(NAME colour_fuzzer SOURCES colour_fuzzer.cpp icc_mutator.cpp
               SEEDS ${CORPUS}/orientation ${CORPUS}/camera/Canon_40D.jpg)
