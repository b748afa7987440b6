# settings/: the store, in registry and INI mode, with its snapshot and watch.
movrela_suite(NAME settings_suite SOURCES settings_suite.cpp PRODUCT)
