orvex_add_test(NAME contacts_presence_tests
  SOURCES contacts/ContactResolverTests.cpp contacts/ContactDetailsTests.cpp contacts/RecordingHost.cpp REGISTRY)
orvex_add_test(NAME contacts_no_host_tests SOURCES contacts/NoHostTests.cpp REGISTRY)
