# The internal decoder, compared with djpeg on a sample set made first.
set(DECODER_SAMPLES ${CMAKE_BINARY_DIR}/decoder-samples)
movrela_suite(NAME decoder_suite SOURCES decoder_suite.cpp PRODUCT ARGS ${DECODER_SAMPLES})
if(NOT WIN32)
  add_executable(make_cmyk ${SUITE_DIR}/make_cmyk.cpp)
  target_include_directories(make_cmyk PRIVATE ${CMAKE_SOURCE_DIR} ${JPEG_INCLUDE})
  target_link_libraries(make_cmyk PRIVATE win32standin ${JPEG_STATIC})
  add_test(NAME decoder_samples
           COMMAND ${CMAKE_SOURCE_DIR}/tests/make-decoder-samples.sh ${DECODER_SAMPLES}
                   $<TARGET_FILE:make_cmyk>)
  set_tests_properties(decoder_samples PROPERTIES FIXTURES_SETUP decoder_samples)
  set_tests_properties(decoder_suite PROPERTIES FIXTURES_REQUIRED decoder_samples)
  if(MOVRELA_WIN32_DIR)
    set_tests_properties(wine_decoder_suite PROPERTIES FIXTURES_REQUIRED decoder_samples)
  endif()
endif()
