#include "registration/RegistryTreeSnapshot.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// Registry names compare without regard to case; the snapshot keeps them in one order
// so that two captures of the same content compare equal whatever order the registry
// enumerates them in.
bool nameLess(const std::wstring& left, const std::wstring& right)
{
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_LESS_THAN;
}

} // namespace

RegistryTreeSnapshot::RegistryTreeSnapshot(HKEY rootKey, std::wstring keyPath)
    : root(rootKey), path(std::move(keyPath)), tree(capture(root, path))
{
}

bool RegistryTreeSnapshot::unchanged() const { return capture(root, path) == tree; }

bool RegistryTreeSnapshot::restore() const
{
    const LSTATUS deleted = RegDeleteTreeW(root, path.c_str());
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    // RegDeleteTreeW empties the key; the key itself goes with RegDeleteKeyW.
    RegDeleteKeyW(root, path.c_str());
    return !tree || write(root, path, *tree);
}

std::optional<RegistryTreeSnapshot::Key> RegistryTreeSnapshot::capture(HKEY rootKey, const std::wstring& keyPath)
{
    HKEY rawKey = nullptr;
    if (RegOpenKeyExW(rootKey, keyPath.c_str(), 0, KEY_READ, &rawKey) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const UniqueKey key(rawKey);
    return captureOpen(key.get());
}

std::optional<RegistryTreeSnapshot::Key> RegistryTreeSnapshot::captureOpen(HKEY key)
{
    DWORD subkeyCount = 0;
    DWORD maxSubkeyLength = 0;
    DWORD valueCount = 0;
    DWORD maxValueNameLength = 0;
    DWORD maxValueSize = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeyCount, &maxSubkeyLength, nullptr, &valueCount,
                         &maxValueNameLength, &maxValueSize, nullptr, nullptr) != ERROR_SUCCESS) {
        return std::nullopt;
    }

    Key copy;
    std::vector<wchar_t> name(std::max(maxSubkeyLength, maxValueNameLength) + 1);
    for (DWORD index = 0; index < valueCount; ++index) {
        Value value;
        value.data.resize(maxValueSize);
        auto nameLength = static_cast<DWORD>(name.size());
        auto dataSize = maxValueSize;
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &value.type, value.data.data(),
                          &dataSize) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        value.name.assign(name.data(), nameLength);
        value.data.resize(dataSize);
        copy.values.push_back(std::move(value));
    }
    for (DWORD index = 0; index < subkeyCount; ++index) {
        auto nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::wstring subkeyName(name.data(), nameLength);
        auto subkey = capture(key, subkeyName);
        if (!subkey) {
            return std::nullopt;
        }
        copy.subkeys.emplace_back(std::move(subkeyName), std::move(*subkey));
    }

    std::sort(copy.values.begin(), copy.values.end(),
              [](const Value& left, const Value& right) { return nameLess(left.name, right.name); });
    std::sort(copy.subkeys.begin(), copy.subkeys.end(),
              [](const auto& left, const auto& right) { return nameLess(left.first, right.first); });
    return copy;
}

bool RegistryTreeSnapshot::write(HKEY rootKey, const std::wstring& keyPath, const Key& content)
{
    HKEY rawKey = nullptr;
    if (RegCreateKeyExW(rootKey, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                        &rawKey, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueKey key(rawKey);
    bool complete = true;
    for (const Value& value : content.values) {
        complete = RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                                  static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS &&
                   complete;
    }
    for (const auto& [name, subkey] : content.subkeys) {
        complete = write(key.get(), name, subkey) && complete;
    }
    return complete;
}
