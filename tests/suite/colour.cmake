# colour/: the work limits, the bounded allocator, the kernel and the digest.
movrela_suite(NAME colour_suite SOURCES colour_suite.cpp PRODUCT)
