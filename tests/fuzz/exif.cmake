# The Exif subsystem: its two marker readers (with the comment reader beside
# the report reader, as GetPictureInfo installs them), the report builder
# and the thumbnail conversions. Seeded with the corpus's camera files; the
# builder and conversion fuzzers start from nothing. The readers' inputs are
# mutated by their Exif structure too (exif_mutator.cpp).
set(EXIF_CORPUS ${CMAKE_SOURCE_DIR}/tests/corpus)
movrela_fuzzer(NAME exif_report_reader_fuzzer SOURCES exif_report_reader_fuzzer.cpp exif_mutator.cpp
               SEEDS ${EXIF_CORPUS}/camera ${EXIF_CORPUS}/exif-org ${EXIF_CORPUS}/invalid
                     ${EXIF_CORPUS}/orientation)
movrela_fuzzer(NAME exif_preview_reader_fuzzer SOURCES exif_preview_reader_fuzzer.cpp exif_mutator.cpp
               SEEDS ${EXIF_CORPUS}/camera ${EXIF_CORPUS}/exif-org)
movrela_fuzzer(NAME exif_report_builder_fuzzer SOURCES exif_report_builder_fuzzer.cpp)
movrela_fuzzer(NAME exif_thumbnail_fuzzer SOURCES exif_thumbnail_fuzzer.cpp)
