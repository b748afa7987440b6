# containers/: detection and the table of kinds, and each camera container
# (J6I, PMP) with camera files of our own made around JPEG streams from
# jpeg_maker.h and from the corpus.
get_filename_component(CAMERA_CORPUS ${CMAKE_SOURCE_DIR}/tests/corpus ABSOLUTE)
movrela_suite(NAME containers_suite SOURCES containers_suite.cpp PRODUCT)
movrela_suite(NAME j6i_suite SOURCES j6i_suite.cpp PRODUCT ARGS ${CAMERA_CORPUS})
movrela_suite(NAME pmp_suite SOURCES pmp_suite.cpp PRODUCT ARGS ${CAMERA_CORPUS})
