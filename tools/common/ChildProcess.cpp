#include "tools/common/ChildProcess.h"

#include <algorithm>

namespace {

void closeHandle(HANDLE& handle)
{
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

} // namespace

std::wstring ChildProcess::besideThisProgram(const std::wstring& fileName)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path);
    directory.resize(directory.find_last_of(L"\\/") + 1);
    return directory + fileName;
}

ChildProcess::ChildProcess(const std::wstring& executable, const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &input, &inherit, 0) || !CreatePipe(&output, &childOutput, &inherit, 0)) {
        return;
    }
    SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = childOutput;
    std::wstring commandLine = L"\"" + executable + L"\" " + arguments;
    PROCESS_INFORMATION information{};
    const std::wstring directory = besideThisProgram(L"");
    if (CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(),
                       &startup, &information)) {
        process = information.hProcess;
        processId = information.dwProcessId;
        CloseHandle(information.hThread);
    }
    CloseHandle(childInput);
    CloseHandle(childOutput);
    reader = std::thread([this] { readOutput(); });
}

ChildProcess::~ChildProcess()
{
    if (process != nullptr && !waitForExit(std::chrono::milliseconds(0))) {
        kill();
    }
    closeHandle(input);
    stopReading = true;
    if (reader.joinable()) {
        reader.join();
    }
    closeHandle(output);
    closeHandle(process);
}

void ChildProcess::send(const std::string& line)
{
    const std::string text = line + "\n";
    DWORD written = 0;
    if (input != nullptr) {
        WriteFile(input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

void ChildProcess::closeInput()
{
    closeHandle(input);
}

void ChildProcess::readOutput()
{
    // Polled rather than blocking: a process the child starts may inherit the pipe and keep
    // it open after the child is gone, and a blocked read would then never return.
    std::string pending;
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(output, nullptr, 0, nullptr, &available, nullptr)) {
            break;
        }
        if (available == 0) {
            if (stopReading) {
                break;
            }
            Sleep(2);
            continue;
        }
        DWORD count = 0;
        if (!ReadFile(output, buffer, std::min<DWORD>(available, sizeof(buffer)), &count, nullptr) || count == 0) {
            break;
        }
        pending.append(buffer, count);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            pending.erase(0, end + 1);
            {
                std::lock_guard lock(mutex);
                received.push_back(std::move(line));
            }
            arrived.notify_all();
        }
    }
}

std::optional<std::string> ChildProcess::waitForLine(const std::string& needle, std::chrono::milliseconds timeout,
                                                     std::size_t from)
{
    std::unique_lock lock(mutex);
    std::optional<std::string> found;
    arrived.wait_for(lock, timeout, [&] {
        for (std::size_t i = from; i < received.size(); ++i) {
            if (received[i].find(needle) != std::string::npos) {
                found = received[i];
                return true;
            }
        }
        return false;
    });
    return found;
}

std::size_t ChildProcess::lineCount() const
{
    std::lock_guard lock(mutex);
    return received.size();
}

std::vector<std::string> ChildProcess::lines() const
{
    std::lock_guard lock(mutex);
    return received;
}

std::vector<std::string> ChildProcess::lastLines(std::size_t count) const
{
    std::lock_guard lock(mutex);
    return {received.end() - static_cast<std::ptrdiff_t>(std::min(count, received.size())), received.end()};
}

std::size_t ChildProcess::countLines(const std::string& needle) const
{
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(std::count_if(received.begin(), received.end(), [&](const std::string& line) {
        return line.find(needle) != std::string::npos;
    }));
}

std::optional<std::size_t> ChildProcess::indexOf(const std::string& needle, std::size_t from) const
{
    std::lock_guard lock(mutex);
    for (std::size_t i = from; i < received.size(); ++i) {
        if (received[i].find(needle) != std::string::npos) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<DWORD> ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (process == nullptr || WaitForSingleObject(process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

void ChildProcess::kill()
{
    if (process != nullptr) {
        TerminateProcess(process, 9);
        WaitForSingleObject(process, 10000);
    }
}
