# The plug-in as the viewer loads it, and the settings store.
movrela_suite(NAME plugin_suite SOURCES plugin_suite.cpp ARGS PLUGIN)
movrela_suite(NAME settings_suite SOURCES settings_suite.cpp PRODUCT)
