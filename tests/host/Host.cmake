orvex_add_test(NAME host_entry_point_tests SOURCES host/EntryPointTests.cpp host/IntegrationLibrary.cpp REGISTRY)
add_dependencies(host_entry_point_tests orvex_office_integration)
orvex_add_test(NAME host_log_tests SOURCES host/HostLogTests.cpp REGISTRY)
orvex_add_test(NAME host_unstarted_tests SOURCES host/UnstartedHostTests.cpp REGISTRY)

# The product's exports, read from the built DLL.
add_test(NAME host_dll_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:orvex_office_integration>
          "-DEXPECTED_EXTRA=DllRegisterServer\\;DllUnregisterServer\\;DllInstall"
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckExports.cmake)
orvex_add_test(NAME host_text_conversion_tests SOURCES host/TextConversionTests.cpp)

# The integration's start and stop.
orvex_add_test(NAME host_lifecycle_tests REGISTRY
  SOURCES host/LocalServerLifecycleTests.cpp host/LifecycleProbe.cpp client/HostedClientTest.cpp client/LogRecorder.cpp)
foreach(scenario 1 2)
  orvex_add_test(NAME host_first_lifecycle_tests_${scenario} REGISTRY
    SOURCES host/FirstLifecycleTests.cpp host/LifecycleProbe.cpp client/HostedClientTest.cpp client/LogRecorder.cpp)
  target_compile_definitions(host_first_lifecycle_tests_${scenario} PRIVATE ORVEX_SCENARIO=${scenario})
endforeach()
orvex_add_test(NAME host_unload_tests REGISTRY
  SOURCES host/UnloadTests.cpp host/IntegrationLibrary.cpp host/LifecycleProbe.cpp)
add_dependencies(host_unload_tests orvex_office_integration)
orvex_add_test(NAME host_exception_boundary_tests REGISTRY
  SOURCES host/ExceptionBoundaryTests.cpp host/IntegrationLibrary.cpp)
add_dependencies(host_exception_boundary_tests orvex_office_integration)
