# The COM object machinery as a contact carries it: connection points, the sink table
# and the fire loop.
orvex_add_test(NAME client_com_machinery_tests
  SOURCES client/ConnectionPointTests.cpp support/RecordingSink.cpp)

# The sink table where a firing thread and an unadvising one meet.
orvex_add_test(NAME client_com_connection_stress_tests
  SOURCES client/ConnectionPointStressTests.cpp)
