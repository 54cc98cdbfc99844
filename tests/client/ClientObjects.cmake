# The integration, client and self objects with the recording host.
orvex_add_test(NAME client_objects_tests REGISTRY
  SOURCES client/UCOfficeIntegrationTests.cpp support/RecordingHost.cpp support/RecordingSink.cpp)
