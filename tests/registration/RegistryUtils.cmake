orvex_add_test(NAME registry_utils_tests
  SOURCES registration/RegistryUtilsTests.cpp registration/TestRegistryKey.cpp REGISTRY)
target_link_options(registry_utils_tests PRIVATE -municode)
