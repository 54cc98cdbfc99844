# The COM object machinery, on small classes of the tests' own.
orvex_add_test(NAME client_com_machinery_tests
  SOURCES client/ComObjectTests.cpp client/ConnectionPointTests.cpp client/RecordingSink.cpp)

# IDispatch from the type library the DLL carries, registered for the test.
orvex_add_test(NAME client_com_dispatch_tests REGISTRY
  SOURCES client/DispatchTests.cpp client/RecordingSink.cpp)
add_dependencies(client_com_dispatch_tests orvex_office_integration)
target_compile_definitions(client_com_dispatch_tests PRIVATE
  "ORVEX_PRODUCT_DLL_NAME=L\"$<TARGET_FILE_NAME:orvex_office_integration>\"")

# Several threads advising, unadvising, enumerating and firing on one object.
orvex_add_test(NAME client_com_connection_stress_tests
  SOURCES client/ConnectionPointStressTests.cpp client/RecordingSink.cpp)
