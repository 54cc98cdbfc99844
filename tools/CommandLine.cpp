#include "tools/CommandLine.h"

#include "host/TextConversion.h"

#include <windows.h>

#include <shellapi.h>

std::vector<std::string> CommandLine::arguments()
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        result.push_back(TextConversion::toUtf8(arguments[i]));
    }
    LocalFree(arguments);
    return result;
}
