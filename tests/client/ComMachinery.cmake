# The COM object machinery, on a small event source of the tests' own and on type
# information that fails or throws halfway through being read.
orvex_add_test(NAME client_com_machinery_tests
  SOURCES client/ConnectionPointTests.cpp client/DispatchTableTests.cpp support/RecordingSink.cpp)

# Several threads advising, unadvising, enumerating and firing on one object.
orvex_add_test(NAME client_com_connection_stress_tests
  SOURCES client/ConnectionPointStressTests.cpp support/RecordingSink.cpp)
