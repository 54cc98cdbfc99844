#pragma once

#include "tools/office/DiagnosisReport.h"
#include "tools/office/OfficeBitness.h"

#include <windows.h>

#include <optional>
#include <string>

// The links through which Office marshals the provider's interfaces: the type library
// path of each platform (per user first, then machine-wide, as the loader reads them) and
// the interface keys Office uses, each checked for the provider's library ID and version
// in the registry view of each Office bitness.
class TypeLibraryLinks {
public:
    // `runningCopyFolder`: the running messenger's folder, where its copy of the library is;
    // empty when it does not run.
    TypeLibraryLinks(DiagnosisReport& report, std::wstring runningCopyFolder);

    void checkTypeLibrary(const OfficeBitness& office);
    void checkInterfaces(const OfficeBitness& office);

    // What is wrong with `file` as the provider's type library; empty when it is right.
    static std::string problemWith(const std::wstring& file);
    // A file that loads as the provider's library, for a repair to point at: the running
    // messenger's copy, one a registered path names, or the one beside this program.
    static std::optional<std::wstring> goodLibraryFile(const std::wstring& folder);
    // The registry key of the type library's path for "win32" or "win64".
    static std::wstring platformPath(const wchar_t* platform);

private:
    struct PathValue;
    PathValue inspect(HKEY root, const wchar_t* platform) const;
    void reportWinner(const OfficeBitness& office, const PathValue& winner);

    DiagnosisReport& report;
    std::wstring runningCopyFolder;
};
