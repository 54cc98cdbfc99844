#pragma once

#include "tools/fuzz/TypeCatalog.h"

#include <cstdint>
#include <set>

// What the runs are asked for.
struct FuzzSettings {
    std::uint64_t seed = 1;
    // Calls in this process, and from this process as Office to the messenger stand-in.
    std::uint64_t calls = 20000;
    std::uint64_t crossCalls = 2000;
    std::uint64_t seconds = 0; // 0: no time limit
    // The short pass: every member reached, the regression cases replayed.
    bool shortPass = false;
    std::uint64_t interfacesExpected = 0;
};

// One fuzzing run, with the library in this process or in the messenger stand-in's: the
// walk over the provider's objects, one call at a time, each with its own seed; checkpoints
// that drop the walk's objects and measure the host; the integration restarted now and
// then, so that the state and shut-down events reach Office's sinks; and at the end, with
// everything released, the leak checks and the figures: calls by path, members reached,
// faults (each printed once, with the member and the seed that found it), live objects and
// private bytes. Answers whether the run was clean: no fault, crash, hang, leak or growth.
// `answered` brings the interfaces objects answered in an earlier run (across processes
// objects are asked for these alone; empty: for all) and takes those of this one.
bool fuzz(const TypeCatalog& catalog, bool crossProcess, const FuzzSettings& settings,
          std::set<std::size_t>& answered);
