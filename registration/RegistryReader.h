#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Utils::Registry {

// Reads registry values the way Office and the library need them told apart: a key that is
// not there, a value that is not there, a value of another registry type (named, so that
// "text, not a number" can be said), and the data itself. One root (HKCU, HKLM or HKCR) in
// one registry view: 0 for the caller's own, KEY_WOW64_64KEY or KEY_WOW64_32KEY for the
// view a 64-bit or a 32-bit process reads.
class RegistryReader {
public:
    enum class Outcome { Read, NoKey, NoValue, WrongType, Failed };

    template <typename T>
    struct Value {
        Outcome outcome = Outcome::NoKey;
        DWORD type = REG_NONE; // the type found, also when it is the wrong one
        LONG error = ERROR_FILE_NOT_FOUND;
        T data{};
        bool read() const { return outcome == Outcome::Read; }
        // Present with either the expected type or another one.
        bool present() const { return outcome == Outcome::Read || outcome == Outcome::WrongType; }
        T valueOr(T fallback) const { return read() ? data : fallback; }
    };

    explicit RegistryReader(HKEY rootKey, REGSAM registryView = 0) : root(rootKey), view(registryView) {}

    // REG_SZ, cut at its first NUL (data stored without one, or with an odd byte count,
    // still ends); a REG_EXPAND_SZ is another type, as Office does not expand these values.
    Value<std::wstring> text(const std::wstring& path, const wchar_t* name) const;
    // REG_DWORD.
    Value<DWORD> number(const std::wstring& path, const wchar_t* name) const;
    bool exists(const std::wstring& path) const;
    std::vector<std::wstring> subkeys(const std::wstring& path) const;

    HKEY rootKey() const { return root; }
    REGSAM viewFlag() const { return view; }

    // A registry type as support staff would say it: "text", "a number", "binary data", ...
    static const char* typeName(DWORD type);

private:
    Value<std::vector<BYTE>> raw(const std::wstring& path, const wchar_t* name) const;

    HKEY root;
    REGSAM view;
};

} // namespace Utils::Registry
