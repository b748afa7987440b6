# The plug-in end to end: the built MOVRELA.MQF loaded as the viewer loads
# it, with the fake external decoders (tests/fakes) and quorel.mqf, natively
# and under Wine. e2e_switch links the plug-in's sources to reach the
# external decoder record directly.
include(${CMAKE_SOURCE_DIR}/tests/fakes/fakes.cmake)
get_filename_component(E2E_CORPUS ${CMAKE_SOURCE_DIR}/tests/corpus ABSOLUTE)

# e2e_dispatch compares turned pictures with djpeg's bitmaps of decoder.cmake.
movrela_suite(NAME e2e_dispatch SOURCES e2e_dispatch.cpp ARGS PLUGIN ${CMAKE_BINARY_DIR}/decoder-samples)
movrela_suite(NAME e2e_queries SOURCES e2e_queries.cpp ARGS PLUGIN)
movrela_suite(NAME e2e_hostile SOURCES e2e_hostile.cpp ARGS PLUGIN ${E2E_CORPUS})
movrela_suite(NAME e2e_switch SOURCES e2e_switch.cpp PRODUCT ARGS PLUGIN)
movrela_suite(NAME e2e_sweeps SOURCES e2e_sweeps.cpp ARGS PLUGIN)

foreach(suite e2e_dispatch e2e_queries e2e_hostile e2e_switch e2e_sweeps)
  target_include_directories(${suite} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fakes)
  add_dependencies(${suite} ${FAKE_TARGETS} quorel movrela)
  # jpeg_maker.h encodes the test pictures.
  if(WIN32)
    target_link_libraries(${suite} PRIVATE jpeg_win32)
  else()
    target_include_directories(${suite} PRIVATE ${JPEG_INCLUDE})
    target_link_libraries(${suite} PRIVATE ${JPEG_STATIC})
  endif()
endforeach()

if(NOT WIN32)
  set_tests_properties(e2e_dispatch PROPERTIES FIXTURES_REQUIRED decoder_samples)
  if(MOVRELA_WIN32_DIR)
    set_tests_properties(wine_e2e_dispatch PROPERTIES FIXTURES_REQUIRED decoder_samples)
  endif()
endif()

# A 200 MP picture through the real plug-in under Wine, in a host whose
# address space holds no block for its full-size bitmap.
if(NOT WIN32 AND MOVRELA_WIN32_DIR)
  add_test(NAME wine_big_pictures
           COMMAND ${CMAKE_SOURCE_DIR}/tests/suite/big_pictures.sh ${MOVRELA_WIN32_DIR}
                   ${CMAKE_BINARY_DIR}/big-pictures)
  set_tests_properties(wine_big_pictures PROPERTIES RESOURCE_LOCK wineprefix)
endif()
