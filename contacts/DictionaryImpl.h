#pragma once

#include "client/com/SafeArray.h"
#include "client/com/Variant.h"

#include <windows.h>

#include <oaidl.h>

#include <map>
#include <vector>

// The data and logic of a dictionary from keys to VARIANTs that is filled once and then
// only read. Keys are listed in ascending order, values in the order they were added;
// a key added again points at its newest value while the older one stays among the
// values. Copies handed out are deep; a failed copy is raised as ComError.
template <class Key>
class DictionaryImpl {
public:
    DictionaryImpl() = default;
    DictionaryImpl(const DictionaryImpl&) = delete;
    DictionaryImpl& operator=(const DictionaryImpl&) = delete;
    virtual ~DictionaryImpl() = default;

    // Every value, in the order added, repeated keys included.
    virtual HRESULT get_Values(SAFEARRAY** result)
    {
        if (result == nullptr) {
            return E_POINTER;
        }
        auto array = orvex::com::SafeArray::create(VT_VARIANT, static_cast<ULONG>(values.size()));
        for (std::size_t index = 0; index < values.size(); ++index) {
            array.putElement(static_cast<LONG>(index), const_cast<VARIANT*>(&values[index].get()));
        }
        *result = array.detach();
        return S_OK;
    }

    // The number of distinct keys.
    virtual HRESULT get_Count(LONG* count)
    {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = static_cast<LONG>(positions.size());
        return S_OK;
    }

    // E_FAIL, with the caller's VARIANT untouched, for a key that is not present.
    virtual HRESULT get_Item(Key key, VARIANT* value)
    {
        const auto found = positions.find(key);
        if (found == positions.end()) {
            return E_FAIL;
        }
        copyOut(values[static_cast<std::size_t>(found->second)], value);
        return S_OK;
    }

    // The keys in ascending order, not in the order added.
    virtual HRESULT get_Keys(SAFEARRAY** keys)
    {
        if (keys == nullptr) {
            return E_POINTER;
        }
        auto array = orvex::com::SafeArray::create(VT_I4, static_cast<ULONG>(positions.size()));
        LONG index = 0;
        for (const auto& entry : positions) {
            LONG key = static_cast<LONG>(entry.first);
            array.putElement(index++, &key);
        }
        *keys = array.detach();
        return S_OK;
    }

    // Always S_OK, so the [out] VARIANT is always written: empty for a key not present.
    virtual HRESULT TryGetValue(Key key, VARIANT* value, VARIANT_BOOL* found)
    {
        if (found == nullptr) {
            return E_POINTER;
        }
        const bool present = SUCCEEDED(get_Item(key, value));
        if (!present && value != nullptr) {
            VariantInit(value);
        }
        *found = present ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    // The key whose value was added at `index`; E_FAIL when that value was replaced by a
    // later one of the same key, or the index is not below the count of keys.
    virtual HRESULT GetKeyAt(LONG index, Key* key)
    {
        if (key == nullptr) {
            return E_POINTER;
        }
        if (index < 0 || index >= static_cast<LONG>(positions.size())) {
            return E_FAIL;
        }
        for (const auto& entry : positions) {
            if (entry.second == index) {
                *key = entry.first;
                return S_OK;
            }
        }
        return E_FAIL;
    }

    virtual HRESULT GetValueAt(LONG index, VARIANT* value)
    {
        if (index < 0 || index >= static_cast<LONG>(values.size())) {
            return E_FAIL;
        }
        copyOut(values[static_cast<std::size_t>(index)], value);
        return S_OK;
    }

    virtual HRESULT ContainsKey(Key key, VARIANT_BOOL* found)
    {
        if (found == nullptr) {
            return E_POINTER;
        }
        *found = positions.contains(key) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    void add(Key key, orvex::com::Variant value)
    {
        values.push_back(std::move(value));
        positions.insert_or_assign(key, static_cast<LONG>(values.size() - 1));
    }

private:
    // A null destination is tolerated: the copy is made and dropped. The destination is an
    // [out] VARIANT, undefined on the way in (COM lets the caller leave it uninitialised):
    // it is written over, never cleared.
    static void copyOut(const orvex::com::Variant& stored, VARIANT* destination)
    {
        orvex::com::Variant copy(stored);
        if (destination != nullptr) {
            copy.moveTo(destination);
        }
    }

    std::map<Key, LONG> positions;
    std::vector<orvex::com::Variant> values;
};
