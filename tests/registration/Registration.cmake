# Registration with Office: the provider keys, the diagnostics and self-registration, all
# against the real registry of the test prefix.
orvex_add_test(NAME registration_provider_keys_tests REGISTRY
  SOURCES registration/ProviderKeysTests.cpp support/RawRegistry.cpp support/SavedRegistryKeys.cpp
          support/RecordingHost.cpp)
orvex_add_test(NAME registration_diagnostics_tests REGISTRY
  SOURCES registration/RegistrationDiagnosticsTests.cpp support/RawRegistry.cpp support/SavedRegistryKeys.cpp
          support/RecordingHost.cpp)
orvex_add_test(NAME self_registration_tests REGISTRY
  SOURCES registration/SelfRegistrationTests.cpp support/ImportHook.cpp support/RawRegistry.cpp
          support/SavedRegistryKeys.cpp support/IntegrationLibrary.cpp)
add_dependencies(self_registration_tests orvex_office_integration)
