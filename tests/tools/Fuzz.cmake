# The fuzzer's short pass: a fixed seed and a bounded number of calls in this process, every
# member of the twelve interfaces the objects answer reached, every regression case replayed, and
# the library's live objects back at their start at the end (a few seconds under Wine).
add_test(NAME fuzz_short COMMAND orvex_fuzz --short --mode in-process --seed 4 --calls 60000 --interfaces 12)
# The same across processes, with this process as Office and the messenger stand-in hosting
# the library: no fault, and the stand-in's live objects back at their start once this
# process has let everything go and left COM. Coverage is the pass above's.
add_test(NAME fuzz_short_cross_process
  COMMAND orvex_fuzz --mode cross-process --seed 4 --cross-calls 600)
set_tests_properties(fuzz_short fuzz_short_cross_process PROPERTIES
  FIXTURES_REQUIRED wine
  RESOURCE_LOCK registry
  ENVIRONMENT "${ORVEX_TEST_ENVIRONMENT}"
  FAIL_REGULAR_EXPRESSION "Unhandled exception|Unhandled page fault|fuzz: fault:|fuzz: failure:|fuzz: crash:|fuzz: hang:"
  TIMEOUT 600)
# About a minute here; in the 32-bit test machine, whose emulated processor makes each call
# across processes take a quarter of a second to a second, up to a quarter of an hour (it
# is where it found the messenger hanging in its unload). The fuzzer's own watchdog
# names a call that hangs long before this.
set_tests_properties(fuzz_short_cross_process PROPERTIES TIMEOUT 1800)
