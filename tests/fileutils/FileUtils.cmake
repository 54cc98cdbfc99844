orvex_add_test(NAME fileutils_tests SOURCES fileutils/FileUtilsTests.cpp)
