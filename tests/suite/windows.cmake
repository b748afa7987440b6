# The dialogs as real windows under Wine on a private X display: ui_window
# opens the settings dialogs through the built MOVRELA.MQF, for both host
# languages and settings backends (ui_window.sh); prompt_window opens the
# broken-file prompts in a Japanese locale and plays the user from a second
# thread (prompt_window.sh). Each leaves a screenshot of every template in
# build/artefacts.
if(WIN32)
  add_executable(ui_window ${SUITE_DIR}/ui_window.cpp)
  target_include_directories(ui_window PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform
                             ${SUITE_DIR})
  target_link_options(ui_window PRIVATE ${STATIC_RUNTIME})
  target_link_libraries(ui_window PRIVATE comctl32 gdi32)
  add_dependencies(ui_window movrela quorel)

  add_executable(prompt_window ${SUITE_DIR}/prompt_window.cpp $<TARGET_OBJECTS:movrela_objects>
                 ${CMAKE_SOURCE_DIR}/resources/movrela.rc)
  target_include_directories(prompt_window PRIVATE ${CMAKE_SOURCE_DIR}
                             ${CMAKE_SOURCE_DIR}/platform ${SUITE_DIR})
  target_link_options(prompt_window PRIVATE ${STATIC_RUNTIME})
  target_link_libraries(prompt_window PRIVATE jpeg_win32 comctl32 comdlg32)
elseif(MOVRELA_WIN32_DIR)
  add_test(NAME wine_ui_window
           COMMAND ${SUITE_DIR}/ui_window.sh ${MOVRELA_WIN32_DIR} ${CMAKE_SOURCE_DIR}/build/artefacts)
  add_test(NAME wine_prompt_window
           COMMAND ${SUITE_DIR}/prompt_window.sh ${MOVRELA_WIN32_DIR}/prompt_window.exe
                   ${CMAKE_SOURCE_DIR}/build/artefacts)
  set_tests_properties(wine_ui_window wine_prompt_window PROPERTIES RESOURCE_LOCK wineprefix)
endif()
