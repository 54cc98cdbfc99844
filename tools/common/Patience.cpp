#include "tools/common/Patience.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr long kOrdinaryStepSeconds = 20;

long stepSeconds()
{
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"ORVEX_TEST_PATIENCE_SECONDS", text, 16);
    const long seconds = length > 0 && length < 16 ? std::wcstol(text, nullptr, 10) : 0;
    return seconds > 0 ? seconds : kOrdinaryStepSeconds;
}

} // namespace

std::chrono::milliseconds Patience::scaled(std::chrono::milliseconds ordinary)
{
    static const long seconds = stepSeconds();
    return ordinary * seconds / kOrdinaryStepSeconds;
}
