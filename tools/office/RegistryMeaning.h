#pragma once

#include "registration/RegistryReader.h"

#include <windows.h>

#include <optional>
#include <string>

// Registry values compared by what they mean to the program that reads them, not by their
// spelling: a CLSID in any letter case, with or without braces (braces required where COM
// itself parses it, as it does the classes and libraries of interface keys); a version as the
// "major.minor" hexadecimal pair the type library loader parses; a provider or file name as
// key and file names are matched, without regard to case. (A type library path is judged
// by loading the file it names, which is what it means.)
class RegistryMeaning {
public:
    static std::optional<GUID> guid(const std::wstring& text);
    static bool sameGuid(const std::wstring& text, const GUID& expected);
    // As COM parses a CLSID or library ID of its own keys: braces required, any letter case.
    static bool sameBracedGuid(const std::wstring& text, const GUID& expected);
    static bool sameName(const std::wstring& left, const std::wstring& right);
    static bool isVersion(const std::wstring& text, unsigned major, unsigned minor);

    // What is wrong with a value that was expected as `expected` ("text" or "a number"):
    // "is missing", "is a number, not text", ...; empty when it was read.
    template <typename T>
    static std::string absence(const Utils::Registry::RegistryReader::Value<T>& value, const char* expected)
    {
        using Outcome = Utils::Registry::RegistryReader::Outcome;
        switch (value.outcome) {
        case Outcome::Read: return {};
        case Outcome::NoKey: return "is missing (no key)";
        case Outcome::NoValue: return "is missing";
        case Outcome::WrongType:
            return std::string("is ") + Utils::Registry::RegistryReader::typeName(value.type) + ", not " + expected;
        case Outcome::Failed: break;
        }
        return "cannot be read (error " + std::to_string(value.error) + ")";
    }
};
