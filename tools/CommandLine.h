#pragma once

#include <string>
#include <vector>

// The program's arguments as the system received them, in UTF-8, without the program name.
class CommandLine {
public:
    static std::vector<std::string> arguments();
};
