# The J6I and PMP container handlers, with camera files of our own made
# around JPEG streams from jpeg_maker.h and from the corpus.
get_filename_component(CAMERA_CORPUS ${CMAKE_SOURCE_DIR}/tests/corpus ABSOLUTE)
movrela_suite(NAME j6i_suite SOURCES j6i_suite.cpp PRODUCT ARGS ${CAMERA_CORPUS})
movrela_suite(NAME pmp_suite SOURCES pmp_suite.cpp PRODUCT ARGS ${CAMERA_CORPUS})
