#include "tests/support/ImportHook.h"

#include <cstring>

ImportHook::ImportHook(HMODULE module, const char* function, const void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    if (base == nullptr) {
        return;
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const auto* imported = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; directory.VirtualAddress != 0 && imported->Name != 0; ++imported) {
        // The names stay in the lookup table; the loader wrote the addresses over the other.
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + imported->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imported->FirstThunk);
        for (; imported->OriginalFirstThunk != 0 && names->u1.AddressOfData != 0; ++names, ++slots) {
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
                std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                slot = reinterpret_cast<const void**>(&slots->u1.Function);
                original = *slot;
                write(replacement);
                return;
            }
        }
    }
}

ImportHook::~ImportHook()
{
    if (slot != nullptr) {
        write(original);
    }
}

void ImportHook::write(const void* target)
{
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
    *slot = target;
    VirtualProtect(slot, sizeof(*slot), protection, &protection);
}
