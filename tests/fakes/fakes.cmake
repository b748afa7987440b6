# The fake external decoders (fake_decoder.cpp), built into <build>/fakes
# for both targets:
#   fake_full.mqf        all five exports
#   fake_nopreview.mqf   all but GetPreview
#   fake_byname.mqf      a copy found by its name alone (current folder)
#   alt/fake_full.mqf    a copy of the same name in another folder
#   fake_wait.mqf        calls the progress callback (50) by default, so that
#                        a test can hold a request inside it without loading it
# FAKE_TARGETS lists them for the suites that load them.
set(FAKES_DIR ${CMAKE_BINARY_DIR}/fakes)
set(FAKE_TARGETS)

function(movrela_fake target output subdir)
  add_library(${target} SHARED ${CMAKE_SOURCE_DIR}/tests/fakes/fake_decoder.cpp)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${output} SUFFIX ".mqf"
    LIBRARY_OUTPUT_DIRECTORY ${FAKES_DIR}/${subdir}
    RUNTIME_OUTPUT_DIRECTORY ${FAKES_DIR}/${subdir}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fakes-lib/${target})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/fakes)
  if(WIN32)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform)
    # Undecorated stdcall names, no MinGW runtime DLLs.
    target_link_options(${target} PRIVATE -Wl,--kill-at ${STATIC_RUNTIME})
  else()
    target_link_options(${target} PRIVATE -Wl,-Bsymbolic)
    target_link_libraries(${target} PRIVATE win32standin)
  endif()
endfunction()

movrela_fake(fake_full fake_full "")
movrela_fake(fake_nopreview fake_nopreview "")
target_compile_definitions(fake_nopreview PRIVATE FAKE_WITHOUT_PREVIEW)
movrela_fake(fake_byname fake_byname "")
movrela_fake(fake_alt fake_full alt)
movrela_fake(fake_wait fake_wait "")
target_compile_definitions(fake_wait PRIVATE FAKE_DEFAULT_PROGRESS=50)
set(FAKE_TARGETS fake_full fake_nopreview fake_byname fake_alt fake_wait)
