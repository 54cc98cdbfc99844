# End to end: the messenger stand-in with the library in one process, this test as Office
# in another, the product installed by regsvr32 into the test prefix. The test process is a
# pure COM client like Office, so it links the Office stand-in's parts and not the library.
add_executable(end_to_end_tests
  tools/EndToEndTest.cpp tools/StartUpAndPresenceTests.cpp
  tools/ConversationAndShutdownTests.cpp)
# The installation doctor against the same installation, broken one way at a time: a test
# of its own, since its table of cases alone takes minutes in the emulated 32-bit machine.
add_executable(installation_doctor_tests tools/EndToEndTest.cpp tools/DiagnosisTests.cpp
  support/RawRegistry.cpp)
foreach(suite end_to_end_tests installation_doctor_tests)
  target_link_libraries(${suite} PRIVATE orvex_process_tools GTest::gmock_main)
  target_compile_options(${suite} PRIVATE ${ORVEX_WARNINGS})
  add_dependencies(${suite} orvex_office_integration orvex_host_standin orvex_office_standin)
  add_test(NAME ${suite} COMMAND ${suite})
  set_tests_properties(${suite} PROPERTIES
    FIXTURES_REQUIRED wine
    RESOURCE_LOCK registry
    ENVIRONMENT "${ORVEX_TEST_ENVIRONMENT}"
    FAIL_REGULAR_EXPRESSION "Unhandled exception|Unhandled page fault|\\[  FAILED  \\]")
endforeach()
