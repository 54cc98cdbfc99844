# Host threads reporting presence while Office's threads create and release contacts.
orvex_add_test(NAME contacts_stress_tests REGISTRY
  SOURCES contacts/ContactStressTests.cpp support/RecordingSink.cpp)
