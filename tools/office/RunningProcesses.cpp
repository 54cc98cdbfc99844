#include "tools/office/RunningProcesses.h"

#include <windows.h>

#include <tlhelp32.h>

#include <functional>

namespace {

// Calls `found` with the id of each process running `executableName` until it returns false.
void forEachProcess(const std::wstring& executableName, const std::function<bool(DWORD)>& found)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, executableName.c_str()) == 0 && !found(entry.th32ProcessID)) {
            break;
        }
    }
    CloseHandle(snapshot);
}

} // namespace

int RunningProcesses::count(const std::wstring& executableName)
{
    int running = 0;
    forEachProcess(executableName, [&](DWORD) { return ++running > 0; });
    return running;
}

std::wstring RunningProcesses::folderOf(const std::wstring& executableName)
{
    std::wstring folder;
    forEachProcess(executableName, [&](DWORD id) {
        const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (process == nullptr) {
            return true;
        }
        wchar_t path[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        if (QueryFullProcessImageNameW(process, 0, path, &length)) {
            const std::wstring image(path, length);
            folder = image.substr(0, image.find_last_of(L"\\/"));
        }
        CloseHandle(process);
        return folder.empty();
    });
    return folder;
}
