# Test suites of our own harness (tests/suite/harness.h), built for both
# targets. Each product folder lists its suites in tests/suite/<folder>.cmake
# (base, settings, colour, containers, decoder, exif, plugin, ui), beside
# e2e.cmake (the built plug-in end to end) and windows.cmake (the dialogs as
# real windows under Wine), with
#   movrela_suite(NAME name SOURCES file.cpp... [PRODUCT] [ARGS arg...])
# PRODUCT links the plug-in's own sources into the suite (unit tests);
# without it the suite loads the built plug-in itself. ARGS are handed to the
# program; the word PLUGIN stands for the built plug-in file.
#
# Natively the suite runs under the sanitizers with its own stand-in root;
# with MOVRELA_WIN32_DIR the Windows build of the same suite runs under Wine.

set(SUITE_DIR ${CMAKE_SOURCE_DIR}/tests/suite)

function(movrela_suite)
  cmake_parse_arguments(S "PRODUCT" "NAME" "SOURCES;ARGS" ${ARGN})
  set(sources)
  foreach(src ${S_SOURCES})
    list(APPEND sources ${SUITE_DIR}/${src})
  endforeach()

  if(WIN32)
    add_executable(${S_NAME} ${sources})
    target_include_directories(${S_NAME} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform
                               ${SUITE_DIR})
    target_link_options(${S_NAME} PRIVATE ${STATIC_RUNTIME})
    # Every suite may call LittleCMS, as the product does (with gdi32 for the
    # display's profile).
    target_link_libraries(${S_NAME} PRIVATE lcms2 comctl32 comdlg32 gdi32)
    if(S_PRODUCT)
      target_sources(${S_NAME} PRIVATE $<TARGET_OBJECTS:movrela_objects>
                     ${CMAKE_SOURCE_DIR}/resources/movrela.rc)
      target_link_libraries(${S_NAME} PRIVATE jpeg_win32)
    endif()
    return()
  endif()

  add_executable(${S_NAME} ${sources})
  target_include_directories(${S_NAME} PRIVATE ${CMAKE_SOURCE_DIR} ${SUITE_DIR})
  target_link_libraries(${S_NAME} PRIVATE win32standin lcms2)
  if(S_PRODUCT)
    target_link_libraries(${S_NAME} PRIVATE movrela_objects ${JPEG_STATIC})
    # The executable exports its string table to the stand-in's LoadStringA.
    set_target_properties(${S_NAME} PROPERTIES ENABLE_EXPORTS ON)
  else()
    add_dependencies(${S_NAME} movrela)
  endif()

  set(native_args)
  set(wine_args)
  foreach(arg ${S_ARGS})
    if(arg STREQUAL "PLUGIN")
      list(APPEND native_args $<TARGET_FILE:movrela>)
      list(APPEND wine_args ${MOVRELA_WIN32_DIR}/MOVRELA.MQF)
    else()
      list(APPEND native_args ${arg})
      list(APPEND wine_args ${arg})
    endif()
  endforeach()

  add_test(NAME ${S_NAME} COMMAND ${S_NAME} ${native_args})
  set_tests_properties(${S_NAME} PROPERTIES
    ENVIRONMENT "MOVRELA_WINROOT=${CMAKE_CURRENT_BINARY_DIR}/winroot-${S_NAME}")
  if(MOVRELA_WIN32_DIR)
    add_test(NAME wine_${S_NAME}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine.sh ${MOVRELA_WIN32_DIR}/${S_NAME}.exe
                     ${wine_args})
    # One Wine prefix serves every suite: they take turns.
    set_tests_properties(wine_${S_NAME} PROPERTIES RESOURCE_LOCK wineprefix)
  endif()
endfunction()

file(GLOB SUITE_AREAS ${SUITE_DIR}/*.cmake)
list(REMOVE_ITEM SUITE_AREAS ${SUITE_DIR}/suites.cmake)
foreach(area ${SUITE_AREAS})
  include(${area})
endforeach()
