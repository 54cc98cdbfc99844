#include "tools/office/HResultText.h"

#include "host/TextConversion.h"

#include <olectl.h>

#include <array>
#include <cstdio>

namespace {

struct KnownCode {
    HRESULT code;
    const char* text;
};

constexpr std::array<KnownCode, 27> kKnownCodes{{
    {S_OK, "S_OK: success"},
    {S_FALSE, "S_FALSE: success, with nothing or less done"},
    {E_NOTIMPL, "E_NOTIMPL: the provider does not implement this member"},
    {E_NOINTERFACE, "E_NOINTERFACE: no such interface, or no proxy/stub registered to marshal it"},
    {E_POINTER, "E_POINTER: a null pointer was passed"},
    {E_FAIL, "E_FAIL: unspecified failure"},
    {E_INVALIDARG, "E_INVALIDARG: an argument was refused"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY: out of memory"},
    {E_UNEXPECTED, "E_UNEXPECTED: catastrophic failure"},
    {E_ACCESSDENIED, "E_ACCESSDENIED: access denied"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG: no running class object for this CLSID and no server registered "
                          "(is the messenger running and its integration started?)"},
    {REGDB_E_IIDNOTREG, "REGDB_E_IIDNOTREG: the interface is not registered (type library not registered?)"},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED: COM is not initialised on this thread"},
    {CO_E_SERVER_EXEC_FAILURE, "CO_E_SERVER_EXEC_FAILURE: the server process could not be started"},
    {CO_E_CLASSSTRING, "CO_E_CLASSSTRING: the GUID text is not a valid CLSID"},
    {CO_E_OBJNOTCONNECTED, "CO_E_OBJNOTCONNECTED: the object is no longer connected to its server"},
    {RPC_E_DISCONNECTED, "RPC_E_DISCONNECTED: the object's server has disconnected"},
    {RPC_E_SERVER_DIED, "RPC_E_SERVER_DIED: the server process died during the call"},
    {RPC_E_SERVER_DIED_DNE, "RPC_E_SERVER_DIED_DNE: the server process died before running the call"},
    {HRESULT(0x800706BA), "RPC_S_SERVER_UNAVAILABLE: the RPC server is unavailable (server process gone)"},
    {HRESULT(0x800706BE), "RPC_S_CALL_FAILED: the remote procedure call failed"},
    {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH: an argument has the wrong type"},
    {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND: no member with this DISPID"},
    {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT: wrong number of arguments"},
    {DISP_E_BADINDEX, "DISP_E_BADINDEX: index out of range"},
    {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION: no such connection point or cookie"},
    {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT: the sink does not implement the event interface"},
}};

} // namespace

std::string HResultText::hex(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

std::string HResultText::meaning(HRESULT result)
{
    for (const auto& known : kKnownCodes) {
        if (known.code == result) {
            return known.text;
        }
    }
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<LPWSTR>(&buffer), 0,
                                        nullptr);
    std::wstring message = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    if (!message.empty()) {
        return TextConversion::toUtf8(message);
    }
    char text[64];
    std::snprintf(text, sizeof(text), "facility %u, code %u", static_cast<unsigned>(HRESULT_FACILITY(result)),
                  static_cast<unsigned>(HRESULT_CODE(result)));
    return text;
}
