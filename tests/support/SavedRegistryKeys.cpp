#include "tests/support/SavedRegistryKeys.h"

#include "tests/support/RawRegistry.h"

#include <stdexcept>

SavedRegistryKeys::~SavedRegistryKeys()
{
    // Newest first, so that a key saved inside an earlier one ends as it was too.
    for (auto snapshot = saved.rbegin(); snapshot != saved.rend(); ++snapshot) {
        snapshot->restore();
    }
}

void SavedRegistryKeys::saveAndRemove(HKEY root, const std::wstring& path)
{
    saved.emplace_back(root, path);
    RawRegistry::removeTree(root, path);
    if (RawRegistry::keyExists(root, path)) {
        throw std::runtime_error("a test registry key could not be removed");
    }
}
