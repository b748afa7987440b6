# The Exif subsystem: report, readers and thumbnails, natively and under
# Wine; natively also the comparison with exiftool over the corpus (tests/corpus)
# (skipped, with a message, when exiftool or the corpus is missing).
movrela_suite(NAME exif_suite PRODUCT
  SOURCES exif_suite.cpp exif_report_test.cpp exif_reader_test.cpp exif_thumbnail_test.cpp)

if(NOT WIN32)
  set(MOVRELA_CORPUS_DIR "${CMAKE_SOURCE_DIR}/tests/corpus") # camera JPEGs, and broken ones
  add_executable(exif_corpus ${SUITE_DIR}/exif_corpus.cpp)
  target_include_directories(exif_corpus PRIVATE ${CMAKE_SOURCE_DIR} ${SUITE_DIR})
  target_link_libraries(exif_corpus PRIVATE win32standin movrela_objects ${JPEG_STATIC})
  set_target_properties(exif_corpus PROPERTIES ENABLE_EXPORTS ON)
  add_test(NAME exif_corpus COMMAND exif_corpus ${MOVRELA_CORPUS_DIR})
  set_tests_properties(exif_corpus PROPERTIES SKIP_RETURN_CODE 77
    ENVIRONMENT "MOVRELA_WINROOT=${CMAKE_CURRENT_BINARY_DIR}/winroot-exif_corpus")
endif()
