#pragma once

#include <windows.h>

#include <string>

// What an HRESULT means, in words a messenger team can act on when Office's connection to
// the provider breaks.
class HResultText {
public:
    static std::string hex(HRESULT result);
    // A short description: the name of a well-known code and what usually causes it, else
    // the system's message text, else the facility and code.
    static std::string meaning(HRESULT result);
};
