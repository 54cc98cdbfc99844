# The installed package as the messenger's build sees it: installed from this build,
# consumed by a separate CMake project, its host run under Wine.
add_test(NAME package_consumer_test
         COMMAND ${CMAKE_COMMAND}
                 -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DWORK_DIR=${CMAKE_BINARY_DIR}/package-consumer
                 -DCONSUMER_SOURCE=${CMAKE_CURRENT_SOURCE_DIR}/package/consumer
                 -DTOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
                 -DOBJDUMP=${ORVEX_TARGET_TRIPLE}-objdump
                 -DWINE=${ORVEX_WINE}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/package/consumer/RunConsumerTest.cmake)
set_tests_properties(package_consumer_test PROPERTIES
  FIXTURES_REQUIRED wine
  RESOURCE_LOCK registry
  ENVIRONMENT "${ORVEX_TEST_ENVIRONMENT}"
  FAIL_REGULAR_EXPRESSION "Unhandled exception|Unhandled page fault")
