#include "tools/office/RunningProcesses.h"

#include <windows.h>

#include <tlhelp32.h>

int RunningProcesses::count(const std::wstring& executableName)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int found = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, executableName.c_str()) == 0) {
            ++found;
        }
    }
    CloseHandle(snapshot);
    return found;
}
