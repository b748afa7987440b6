# The broken-file prompt. prompt_suite runs it natively through the
# stand-in's dialog model (and checks the compiled templates under Wine);
# prompt_window opens the real dialogs under Wine on a private X display in
# a Japanese locale, plays the user from a second thread, and leaves a
# screenshot of each language's prompt in build/artefacts.
movrela_suite(NAME prompt_suite SOURCES prompt_suite.cpp PRODUCT)

if(WIN32)
  add_executable(prompt_window ${SUITE_DIR}/prompt_window.cpp $<TARGET_OBJECTS:movrela_objects>
                 ${CMAKE_SOURCE_DIR}/resources/movrela.rc)
  target_include_directories(prompt_window PRIVATE ${CMAKE_SOURCE_DIR}
                             ${CMAKE_SOURCE_DIR}/platform ${SUITE_DIR})
  target_link_options(prompt_window PRIVATE ${STATIC_RUNTIME})
  target_link_libraries(prompt_window PRIVATE jpeg_win32 comctl32 comdlg32)
elseif(MOVRELA_WIN32_DIR)
  add_test(NAME wine_prompt_window
           COMMAND ${SUITE_DIR}/prompt_window.sh ${MOVRELA_WIN32_DIR}/prompt_window.exe
                   ${CMAKE_SOURCE_DIR}/build/artefacts)
  set_tests_properties(wine_prompt_window PROPERTIES RESOURCE_LOCK wineprefix)
endif()
