#pragma once

#include <windows.h>

#include <unknwn.h>
#include <wrl/client.h>

#include <string>
#include <vector>

// What one call gave back: its HRESULT, what was wrong with the answer, and the objects
// it handed out (for the walk to call next).
struct CallOutcome {
    HRESULT result = S_OK;
    std::vector<std::string> faults;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects;

    // Takes over the reference that came with `object`. (This toolchain's ComPtr::Attach
    // adds a reference of its own, so it cannot be used for that.)
    void adopt(IUnknown* object) { *objects.emplace_back().GetAddressOf() = object; }
};
