# The COM objects Office sees, against the process's mock host.
orvex_add_test(NAME contacts_objects_tests REGISTRY
  SOURCES contacts/ContactValuesTests.cpp contacts/UCCContactTests.cpp contacts/UCCContactManagerTests.cpp
          contacts/ContactLifetimeTests.cpp contacts/ContactTestFixture.cpp contacts/ContactEventSink.cpp
          contacts/RecordingHost.cpp)
