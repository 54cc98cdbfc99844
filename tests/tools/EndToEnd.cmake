# End to end: the messenger stand-in with the library in one process, this test as Office
# in another, the product installed by regsvr32 into the test prefix. The test process is a
# pure COM client like Office, so it links the Office stand-in's parts and not the library.
add_executable(end_to_end_tests
  tools/EndToEndTest.cpp tools/TestWatchdog.cpp tools/StartUpAndPresenceTests.cpp
  tools/ConversationAndShutdownTests.cpp tools/DiagnosisTests.cpp tools/PushTests.cpp)
target_link_libraries(end_to_end_tests PRIVATE orvex_process_tools GTest::gmock_main)
target_compile_options(end_to_end_tests PRIVATE ${ORVEX_WARNINGS})
add_dependencies(end_to_end_tests orvex_office_integration orvex_host_standin orvex_office_standin)
add_test(NAME end_to_end_tests COMMAND end_to_end_tests)
set_tests_properties(end_to_end_tests PROPERTIES
  FIXTURES_REQUIRED wine
  RESOURCE_LOCK registry
  ENVIRONMENT "${ORVEX_TEST_ENVIRONMENT}"
  FAIL_REGULAR_EXPRESSION "Unhandled exception|Unhandled page fault|\\[  FAILED  \\]")
