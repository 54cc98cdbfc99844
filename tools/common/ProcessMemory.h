#pragma once

// The figures a task manager shows for the calling process.
class ProcessMemory {
public:
    // Committed private memory, summed from the address space itself: Wine does not fill
    // in the process memory counters' private usage.
    static unsigned long long privateBytes();
};
