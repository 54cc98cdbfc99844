# The entry point and unloading, through the built DLL.
orvex_add_test(NAME host_entry_point_tests REGISTRY
  SOURCES host/EntryPointTests.cpp support/IntegrationLibrary.cpp support/RawRegistry.cpp)
add_dependencies(host_entry_point_tests orvex_office_integration)

# The product's exports, read from the built DLL.
add_test(NAME host_dll_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:orvex_office_integration>
          "-DEXPECTED_EXTRA=DllRegisterServer\\;DllUnregisterServer\\;DllInstall"
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckExports.cmake)

# The integration's start and stop.
orvex_add_test(NAME host_lifecycle_tests REGISTRY
  SOURCES host/LifecycleTests.cpp host/OfficeBoundaryTests.cpp support/ImportHook.cpp support/RecordingHost.cpp
          support/RecordingSink.cpp support/RawRegistry.cpp)
orvex_add_test(NAME host_exception_boundary_tests REGISTRY
  SOURCES host/ExceptionBoundaryTests.cpp support/IntegrationLibrary.cpp support/RawRegistry.cpp)
add_dependencies(host_exception_boundary_tests orvex_office_integration)
