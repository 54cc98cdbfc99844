#include "client/com/InterfaceTable.h"

namespace orvex::com {

HRESULT queryInterface(void* object, const InterfaceEntry* table, REFIID iid, void** out) noexcept
{
    if (out == nullptr) {
        return E_POINTER;
    }
    const InterfaceEntry* hit = nullptr;
    if (IsEqualIID(iid, __uuidof(IUnknown))) {
        hit = table;
    } else {
        for (const InterfaceEntry* entry = table; entry->iid != nullptr; ++entry) {
            if (IsEqualIID(iid, *entry->iid)) {
                hit = entry;
                break;
            }
        }
    }
    if (hit == nullptr || hit->iid == nullptr) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    IUnknown* target = hit->reach(object);
    target->AddRef();
    *out = target;
    return S_OK;
}

} // namespace orvex::com
