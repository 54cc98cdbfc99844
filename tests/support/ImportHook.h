#pragma once

#include <windows.h>

// Points one loaded module's import of a function, by name, at another function for as
// long as the object lives: the module's calls through its import table reach the
// replacement. Other modules, and lookups by GetProcAddress, still reach the original.
class ImportHook {
public:
    ImportHook(HMODULE module, const char* function, const void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool installed() const { return slot != nullptr; }

private:
    void write(const void* target);

    const void** slot = nullptr;
    const void* original = nullptr;
};
