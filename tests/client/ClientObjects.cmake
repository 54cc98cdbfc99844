# The integration, client and self objects with a mock host.
orvex_add_test(NAME client_objects_tests
  SOURCES client/UCOfficeIntegrationTests.cpp client/UCCLyncClientTests.cpp client/UCCSelfTests.cpp
          client/EventSink.cpp client/HostedClientTest.cpp client/LogRecorder.cpp
  REGISTRY)

# The same objects in a process without a host.
orvex_add_test(NAME client_no_host_tests
  SOURCES client/NoHostClientTests.cpp client/ConversationArrays.cpp)
