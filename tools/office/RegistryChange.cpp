#include "tools/office/RegistryChange.h"

#include "host/TextConversion.h"
#include "registration/RegistryReader.h"

using Utils::Registry::RegistryReader;

RegistryChange::RegistryChange(HKEY rootKey, REGSAM registryView, std::wstring keyPath, std::wstring valueName)
    : root(rootKey), view(registryView), path(std::move(keyPath)), name(std::move(valueName))
{
    // What is there now, read the way the doctor judged it.
    const RegistryReader reader(root, view);
    const auto asText = reader.text(path, name.empty() ? nullptr : name.c_str());
    const auto asNumber = reader.number(path, name.empty() ? nullptr : name.c_str());
    if (asText.read()) {
        before = "\"" + TextConversion::toUtf8(asText.data) + "\"";
    } else if (asNumber.read()) {
        before = std::to_string(asNumber.data);
    } else if (asText.present()) {
        before = std::string("(") + RegistryReader::typeName(asText.type) + ")";
    } else {
        before = "(none)";
    }
}

RegistryChange RegistryChange::text(HKEY rootKey, REGSAM registryView, std::wstring keyPath, std::wstring valueName,
                                    std::wstring after)
{
    RegistryChange change(rootKey, registryView, std::move(keyPath), std::move(valueName));
    change.afterText = std::move(after);
    return change;
}

RegistryChange RegistryChange::number(HKEY rootKey, REGSAM registryView, std::wstring keyPath, std::wstring valueName,
                                      DWORD after)
{
    RegistryChange change(rootKey, registryView, std::move(keyPath), std::move(valueName));
    change.type = REG_DWORD;
    change.afterNumber = after;
    return change;
}

std::string RegistryChange::valueText() const
{
    return type == REG_DWORD ? std::to_string(afterNumber) : "\"" + TextConversion::toUtf8(afterText) + "\"";
}

std::string RegistryChange::describe() const
{
    const char* viewName = view == KEY_WOW64_32KEY ? " (32-bit view)" : view == KEY_WOW64_64KEY ? " (64-bit view)" : "";
    return std::string(machineWide() ? "HKLM\\" : "HKCU\\") + TextConversion::toUtf8(path) + viewName + " " +
           (name.empty() ? std::string("(default)") : TextConversion::toUtf8(name)) + ": " + before + " -> " +
           valueText();
}

std::string RegistryChange::target() const
{
    return std::to_string(reinterpret_cast<ULONG_PTR>(root)) + "|" + std::to_string(view) + "|" +
           TextConversion::toUtf8(path) + "|" + TextConversion::toUtf8(name) + "|" + valueText();
}

LONG RegistryChange::apply() const
{
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | view, nullptr,
                                 &key, nullptr);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    error = type == REG_DWORD
                ? RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&afterNumber),
                                 sizeof(afterNumber))
                : RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(afterText.c_str()),
                                 static_cast<DWORD>((afterText.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return error;
}
