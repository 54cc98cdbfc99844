#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A program started from this program's directory with its standard input and output on
// pipes: lines can be sent to it, and every line it prints is kept and can be waited for.
class ChildProcess {
public:
    ChildProcess(const std::wstring& executable, const std::wstring& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    static std::wstring besideThisProgram(const std::wstring& fileName);

    bool started() const { return process != nullptr; }
    DWORD id() const { return processId; }
    void send(const std::string& line);
    void closeInput();
    // The first line after the `from`-th that contains `needle`.
    std::optional<std::string> waitForLine(const std::string& needle, std::chrono::milliseconds timeout,
                                           std::size_t from = 0);
    std::size_t lineCount() const;
    std::vector<std::string> lines() const;
    // The last `count` lines, or all when there are fewer.
    std::vector<std::string> lastLines(std::size_t count) const;
    std::size_t countLines(const std::string& needle) const;
    // The position of the first line containing `needle`, or nothing.
    std::optional<std::size_t> indexOf(const std::string& needle, std::size_t from = 0) const;
    std::optional<DWORD> waitForExit(std::chrono::milliseconds timeout);
    void kill();

private:
    void readOutput();

    HANDLE process = nullptr;
    DWORD processId = 0;
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    std::atomic<bool> stopReading{false};
    std::thread reader;
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::string> received;
};
