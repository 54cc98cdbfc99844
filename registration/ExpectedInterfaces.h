#pragma once

#include <span>

namespace Utils::Registry {

// One interface whose marshalling registration Office needs: its IID in registry text
// form (upper case, braces) and its name in the type library.
struct ExpectedInterface {
    const wchar_t* iid;
    const wchar_t* name;
};

// Every interface of the type library that Office may marshal (273), in the order in which
// the registration diagnostics check and report them. Generated from the library's IDL at
// build time (registration/GenerateExpectedInterfaces.cmake).
extern const std::span<const ExpectedInterface> ExpectedInterfaces;

} // namespace Utils::Registry
