# The contact objects Office sees and their presence watchers, against the recording host.
orvex_add_test(NAME contacts_objects_tests REGISTRY
  SOURCES contacts/UCCContactTests.cpp contacts/ContactLifetimeTests.cpp contacts/ContactDetailsTests.cpp
          support/RecordingHost.cpp support/RecordingSink.cpp)
