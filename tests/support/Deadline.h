#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>

// Waits for work running on a thread of its own. Work still running after `limit` is
// deadlocked: its thread cannot be joined, so the process ends failed with the reason
// printed, instead of hanging until ctest gives up without saying why.
inline void waitWithin(std::future<void>& done, std::chrono::seconds limit, const char* what)
{
    if (done.wait_for(limit) != std::future_status::ready) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::printf("[  FAILED  ] %s.%s (%s: still waiting after %lld s, deadlocked)\n", test->test_suite_name(),
                    test->name(), what, static_cast<long long>(limit.count()));
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    done.get();
}

inline void finishesWithin(std::chrono::seconds limit, const char* what, std::function<void()> body)
{
    auto done = std::async(std::launch::async, std::move(body));
    waitWithin(done, limit, what);
}
