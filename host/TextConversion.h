#pragma once

#include <string>
#include <string_view>

// UTF-8 (the host's text) to and from UTF-16 (Office's and the registry's text), with
// code page 65001. Invalid input never overruns: ill-formed UTF-8 and unpaired
// surrogates come out as U+FFFD, embedded NULs are kept.
namespace TextConversion {

std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view utf16);

} // namespace TextConversion
