# ui/: the configuration dialogs, driven through the stand-in's dialog model.
# The dialog switches the wrapped plug-in: the native quorel.mqf serves.
if(NOT WIN32)
  add_executable(ui_suite ${SUITE_DIR}/ui_suite.cpp)
  target_include_directories(ui_suite PRIVATE ${CMAKE_SOURCE_DIR} ${SUITE_DIR})
  target_link_libraries(ui_suite PRIVATE win32standin movrela_objects ${JPEG_STATIC})
  set_target_properties(ui_suite PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(ui_suite quorel)
  add_test(NAME ui_suite COMMAND ui_suite $<TARGET_FILE:quorel>)
  set_tests_properties(ui_suite PROPERTIES
    ENVIRONMENT "MOVRELA_WINROOT=${CMAKE_CURRENT_BINARY_DIR}/winroot-ui_suite")
endif()
