#pragma once

#include <array>

namespace Utils::Registry {

// One interface whose marshalling registration Office needs: its IID in registry text
// form (upper case, braces) and its name in the type library.
struct ExpectedInterface {
    const wchar_t* iid;
    const wchar_t* name;
};

// Every interface of the type library that Office may marshal, in the order in which
// the registration diagnostics check and report them.
extern const std::array<ExpectedInterface, 273> ExpectedInterfaces;

} // namespace Utils::Registry
