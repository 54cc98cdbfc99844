#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// A copy of one registry key with its values and subkeys, taken when the object is
// made, that can be put back later. The library uses it to keep registrations it does
// not own as it found them; its tests use it to leave shared keys as they were.
class RegistryTreeSnapshot {
public:
    RegistryTreeSnapshot(HKEY root, std::wstring path);

    bool existed() const { return tree.has_value(); }

    // Whether the key now holds exactly what it held when the snapshot was taken
    // (values with their types and data, subkeys, recursively; absence included).
    bool unchanged() const;

    // Makes the key hold what it held when the snapshot was taken: removes it, and
    // writes it back from the copy if it existed. Returns false when a step failed.
    bool restore() const;

    // restore(), but only when something differs, so that an untouched key is not
    // rewritten.
    bool restoreIfChanged() const { return unchanged() || restore(); }

private:
    struct Value {
        std::wstring name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        bool operator==(const Value&) const = default;
    };
    struct Key {
        std::vector<Value> values;
        std::vector<std::pair<std::wstring, Key>> subkeys;
        bool operator==(const Key&) const = default;
    };

    static std::optional<Key> capture(HKEY root, const std::wstring& path);
    static std::optional<Key> captureOpen(HKEY key);
    static bool write(HKEY root, const std::wstring& path, const Key& key);

    HKEY root;
    std::wstring path;
    std::optional<Key> tree;
};
