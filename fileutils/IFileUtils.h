#pragma once

#include <string>

// The file-system utility interface the library shares with the host application. The
// library itself needs only the executable's directory, so that is all it declares.
class IFileUtils {
public:
    virtual ~IFileUtils() = default;

    // The directory of the running process's executable (the host, not this library),
    // as UTF-8, without a trailing backslash; empty on failure.
    virtual std::string getExecutableDirectory() const = 0;
};
