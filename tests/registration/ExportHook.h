#pragma once

#include <windows.h>

// Points one named export of a loaded module at another function for as long as the
// object lives, so that whoever looks the export up by name (GetProcAddress) from then
// on reaches the replacement. Calls through an import table resolved earlier are not
// affected. The replacement reaches the real function through original().
class ExportHook {
public:
    ExportHook(HMODULE module, const char* name, const void* replacement);
    ~ExportHook();
    ExportHook(const ExportHook&) = delete;
    ExportHook& operator=(const ExportHook&) = delete;

    bool installed() const { return slot != nullptr; }
    void* original() const { return originalFunction; }

private:
    void writeSlot(DWORD rva);

    BYTE* base = nullptr;
    DWORD* slot = nullptr;
    DWORD savedRva = 0;
    void* originalFunction = nullptr;
    void* trampoline = nullptr;
};
