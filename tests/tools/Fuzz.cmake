# The fuzzer's short pass: a fixed seed and a bounded number of calls, in this process and
# across processes; every member must be reached and every regression case replayed.
# Disabled until the references the system's dispatch code still loses under hostile
# Invoke arguments are accounted for: the pass fails on the live-object count.
add_test(NAME fuzz_short COMMAND orvex_fuzz --short --seed 1 --calls 20000 --cross-calls 1500)
set_tests_properties(fuzz_short PROPERTIES
  DISABLED TRUE
  FIXTURES_REQUIRED wine
  RESOURCE_LOCK registry
  ENVIRONMENT "${ORVEX_TEST_ENVIRONMENT}"
  FAIL_REGULAR_EXPRESSION "Unhandled exception|Unhandled page fault|fuzz: fault|fuzz: failure")
