#pragma once

#include <windows.h>

#include <exception>
#include <new>

namespace orvex::com {

// An error inside the library that carries the HRESULT a COM method should answer with,
// for example E_OUTOFMEMORY from string and array handling. It never leaves a COM
// method: guardComCall turns it into the method's result.
class ComError : public std::exception {
public:
    explicit ComError(HRESULT code) noexcept : code_(code) {}
    HRESULT code() const noexcept { return code_; }
    const char* what() const noexcept override { return "COM error"; }

private:
    HRESULT code_;
};

// Raises a failed HRESULT as a ComError.
inline void throwIfFailed(HRESULT result)
{
    if (FAILED(result)) {
        throw ComError(result);
    }
}

// Runs the body of a COM method and answers its HRESULT; an exception becomes the code
// it carries, E_OUTOFMEMORY for a failed allocation, E_FAIL for anything else.
template <class Body>
HRESULT guardComCall(Body&& body) noexcept
{
    try {
        return body();
    } catch (const ComError& error) {
        return error.code();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Runs code that must not let an exception escape (a host callback, a destructor step)
// and reports whether it completed.
template <class Body>
bool guardCallback(Body&& body) noexcept
{
    try {
        body();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace orvex::com
