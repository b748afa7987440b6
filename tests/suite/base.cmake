# base/: the DIB writer over the host's blocks.
movrela_suite(NAME dib_suite SOURCES dib_suite.cpp PRODUCT)
