# plugin/: the exports as the viewer loads them, and the broken-file prompt,
# natively through the stand-in's dialog model (under Wine it checks the
# compiled templates).
movrela_suite(NAME plugin_suite SOURCES plugin_suite.cpp ARGS PLUGIN)
movrela_suite(NAME prompt_suite SOURCES prompt_suite.cpp PRODUCT)
