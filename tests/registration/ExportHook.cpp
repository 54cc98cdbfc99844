#include "tests/registration/ExportHook.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr std::uintptr_t kAllocationGranularity = 0x10000;

// Export table entries are 32-bit offsets from the module base, so the replacement is
// reached through a small jump placed at a higher address within reach of the base.
void* allocateNear(BYTE* base, std::size_t imageSize)
{
    auto candidate = (reinterpret_cast<std::uintptr_t>(base) + imageSize + kAllocationGranularity - 1) &
                     ~(kAllocationGranularity - 1);
    const std::uintptr_t limit = reinterpret_cast<std::uintptr_t>(base) + 0x7FFF0000u;
    for (; candidate < limit; candidate += kAllocationGranularity) {
        if (void* block = VirtualAlloc(reinterpret_cast<void*>(candidate), 64, MEM_RESERVE | MEM_COMMIT,
                                       PAGE_EXECUTE_READWRITE)) {
            return block;
        }
    }
    return nullptr;
}

void writeJump(void* at, const void* target)
{
#if defined(_WIN64)
    const BYTE load[] = {0x48, 0xB8}; // mov rax, imm64
#else
    const BYTE load[] = {0xB8}; // mov eax, imm32
#endif
    const BYTE jump[] = {0xFF, 0xE0}; // jmp rax (eax)
    auto* code = static_cast<BYTE*>(at);
    std::memcpy(code, load, sizeof(load));
    std::memcpy(code + sizeof(load), &target, sizeof(target));
    std::memcpy(code + sizeof(load) + sizeof(target), jump, sizeof(jump));
    FlushInstructionCache(GetCurrentProcess(), at, 16);
}

} // namespace

ExportHook::ExportHook(HMODULE module, const char* name, const void* replacement)
    : base(reinterpret_cast<BYTE*>(module))
{
    if (base == nullptr) {
        return;
    }
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
    for (DWORD index = 0; index < exports->NumberOfNames; ++index) {
        if (std::strcmp(reinterpret_cast<const char*>(base + names[index]), name) != 0) {
            continue;
        }
        trampoline = allocateNear(base, nt->OptionalHeader.SizeOfImage);
        if (trampoline == nullptr) {
            return;
        }
        writeJump(trampoline, replacement);
        slot = &functions[ordinals[index]];
        savedRva = *slot;
        originalFunction = base + savedRva;
        writeSlot(static_cast<DWORD>(static_cast<BYTE*>(trampoline) - base));
        return;
    }
}

ExportHook::~ExportHook()
{
    if (slot != nullptr) {
        writeSlot(savedRva);
    }
    if (trampoline != nullptr) {
        VirtualFree(trampoline, 0, MEM_RELEASE);
    }
}

void ExportHook::writeSlot(DWORD rva)
{
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(DWORD), PAGE_READWRITE, &protection);
    *slot = rva;
    VirtualProtect(slot, sizeof(DWORD), protection, &protection);
}
