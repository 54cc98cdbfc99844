#include "tools/common/CrossProcessCallCounter.h"

#include <cwchar>
#include <new>
#include <sstream>

using Microsoft::WRL::ComPtr;

namespace {

// Names this hook's data would travel under; the hook sends none.
constexpr GUID kExtension = {0x6c3a1f52, 0x8e0d, 0x4b7a, {0x9d, 0x21, 0x5f, 0x3e, 0x70, 0xc4, 0x18, 0xa6}};

std::string textOf(REFIID iid)
{
    wchar_t text[40] = {};
    StringFromGUID2(iid, text, 40);
    return std::string(text, text + std::wcslen(text));
}

} // namespace

ComPtr<CrossProcessCallCounter> CrossProcessCallCounter::install()
{
    // The new counter's one reference goes to the ComPtr as it is (this toolchain's
    // ComPtr::Attach would add a second one).
    ComPtr<CrossProcessCallCounter> counter;
    *counter.GetAddressOf() = new (std::nothrow) CrossProcessCallCounter();
    if (!counter || FAILED(CoRegisterChannelHook(kExtension, counter.Get()))) {
        return nullptr;
    }
    return counter;
}

CrossProcessCallCounter::Counts CrossProcessCallCounter::counts() const
{
    std::lock_guard lock(mutex);
    return sent;
}

std::string CrossProcessCallCounter::format(const Counts& counts)
{
    std::string text;
    for (const auto& [iid, calls] : counts) {
        text += (text.empty() ? "" : " ") + iid + "=" + std::to_string(calls);
    }
    return text;
}

CrossProcessCallCounter::Counts CrossProcessCallCounter::parse(const std::string& text)
{
    Counts counts;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const auto equals = word.find('=');
        if (equals != std::string::npos && word.front() == '{') {
            counts[word.substr(0, equals)] = std::atoll(word.c_str() + equals + 1);
        }
    }
    return counts;
}

CrossProcessCallCounter::Counts CrossProcessCallCounter::since(const Counts& now, const Counts& earlier)
{
    Counts added;
    for (const auto& [iid, calls] : now) {
        const auto before = earlier.find(iid);
        const long long difference = calls - (before == earlier.end() ? 0 : before->second);
        if (difference != 0) {
            added[iid] = difference;
        }
    }
    return added;
}

long long CrossProcessCallCounter::total(const Counts& counts)
{
    long long sum = 0;
    for (const auto& [iid, calls] : counts) {
        sum += calls;
    }
    return sum;
}

HRESULT STDMETHODCALLTYPE CrossProcessCallCounter::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IChannelHook)) {
        *object = static_cast<IChannelHook*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CrossProcessCallCounter::AddRef() { return ++references; }

ULONG STDMETHODCALLTYPE CrossProcessCallCounter::Release()
{
    const ULONG remaining = --references;
    if (remaining == 0) {
        delete this;
    }
    return remaining;
}

// Asked once for every call leaving through a proxy: how much data the hook adds.
void STDMETHODCALLTYPE CrossProcessCallCounter::ClientGetSize(REFGUID, REFIID iid, ULONG* size)
{
    *size = 0;
    try {
        const std::string key = textOf(iid);
        std::lock_guard lock(mutex);
        ++sent[key];
    } catch (...) {
        // A call COM is making must not fail for a count.
    }
}

void STDMETHODCALLTYPE CrossProcessCallCounter::ClientFillBuffer(REFGUID, REFIID, ULONG* size, void*)
{
    *size = 0;
}

void STDMETHODCALLTYPE CrossProcessCallCounter::ClientNotify(REFGUID, REFIID, ULONG, void*, DWORD, HRESULT) {}

void STDMETHODCALLTYPE CrossProcessCallCounter::ServerNotify(REFGUID, REFIID, ULONG, void*, DWORD) {}

void STDMETHODCALLTYPE CrossProcessCallCounter::ServerGetSize(REFGUID, REFIID, HRESULT, ULONG* size) { *size = 0; }

void STDMETHODCALLTYPE CrossProcessCallCounter::ServerFillBuffer(REFGUID, REFIID, ULONG* size, void*, HRESULT)
{
    *size = 0;
}
