# Registration with Office: the provider keys, the diagnostics, the saving of keys, and
# self-registration, all against the real registry of the test prefix.
set(orvex_registration_host registration/RegistrationHost.cpp registration/SavedRegistryKeys.cpp client/LogRecorder.cpp)
orvex_add_test(NAME registration_diagnostics_tests REGISTRY
  SOURCES registration/RegistrationDiagnosticsTests.cpp ${orvex_registration_host})
orvex_add_test(NAME registration_provider_keys_tests REGISTRY
  SOURCES registration/ProviderKeysTests.cpp ${orvex_registration_host})
orvex_add_test(NAME registry_tree_snapshot_tests
  SOURCES registration/RegistryTreeSnapshotTests.cpp registration/SavedRegistryKeys.cpp registration/TestRegistryKey.cpp)
orvex_add_test(NAME self_registration_tests REGISTRY
  SOURCES registration/SelfRegistrationTests.cpp registration/ExportHook.cpp registration/SavedRegistryKeys.cpp
          host/IntegrationLibrary.cpp)
add_dependencies(self_registration_tests orvex_office_integration)
