# The configuration dialogs. Natively ui_suite drives them through the
# stand-in's dialog model. ui_window opens them for real under Wine on a
# private X display through the built MOVRELA.MQF, for both host languages
# and settings backends, and leaves a screenshot of each template in
# build/artefacts (ui_window.sh).
if(WIN32)
  add_executable(ui_window ${SUITE_DIR}/ui_window.cpp)
  target_include_directories(ui_window PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform
                             ${SUITE_DIR})
  target_link_options(ui_window PRIVATE ${STATIC_RUNTIME})
  target_link_libraries(ui_window PRIVATE comctl32 gdi32)
  add_dependencies(ui_window movrela quorel)
else()
  # The dialog switches the wrapped plug-in: the native quorel.mqf serves.
  add_executable(ui_suite ${SUITE_DIR}/ui_suite.cpp)
  target_include_directories(ui_suite PRIVATE ${CMAKE_SOURCE_DIR} ${SUITE_DIR})
  target_link_libraries(ui_suite PRIVATE win32standin movrela_objects ${JPEG_STATIC})
  set_target_properties(ui_suite PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(ui_suite quorel)
  add_test(NAME ui_suite COMMAND ui_suite $<TARGET_FILE:quorel>)
  set_tests_properties(ui_suite PROPERTIES
    ENVIRONMENT "MOVRELA_WINROOT=${CMAKE_CURRENT_BINARY_DIR}/winroot-ui_suite")
  if(MOVRELA_WIN32_DIR)
    add_test(NAME wine_ui_window
             COMMAND ${SUITE_DIR}/ui_window.sh ${MOVRELA_WIN32_DIR} ${CMAKE_SOURCE_DIR}/build/artefacts)
    set_tests_properties(wine_ui_window PROPERTIES RESOURCE_LOCK wineprefix)
  endif()
endif()
