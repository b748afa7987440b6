# The DIB writer and container detection with its plain JPEG handlers.
movrela_suite(NAME dib_suite SOURCES dib_suite.cpp PRODUCT)
movrela_suite(NAME containers_suite SOURCES containers_suite.cpp PRODUCT)
