#pragma once

#include <string>

// Office only talks to a provider whose process runs: it looks for the ProcessName of the
// provider key among the running processes.
class RunningProcesses {
public:
    // How many processes run an executable of this file name (compared without regard to case).
    static int count(const std::wstring& executableName);
    // The folder of the first such process's executable; empty when none runs or it cannot be asked.
    static std::wstring folderOf(const std::wstring& executableName);
};
