#include "client/UCCClientStateChangedEventData.h"

#include <mutex>
#include <shared_mutex>

void UCCClientStateChangedEventData::setStates(ClientState oldValue, ClientState newValue) noexcept
{
    std::unique_lock lock(dataLock);
    newState = newValue;
    oldState = oldValue;
}

HRESULT UCCClientStateChangedEventData::get_NewState(ClientState* value) noexcept
{
    if (value == nullptr) {
        return E_POINTER;
    }
    std::shared_lock lock(dataLock);
    *value = newState;
    return S_OK;
}

HRESULT UCCClientStateChangedEventData::get_OldState(ClientState* value) noexcept
{
    if (value == nullptr) {
        return E_POINTER;
    }
    std::shared_lock lock(dataLock);
    *value = oldState;
    return S_OK;
}

HRESULT UCCClientStateChangedEventData::get_StatusCode(LONG* status) noexcept
{
    if (status == nullptr) {
        return E_POINTER;
    }
    *status = 0;
    return S_OK;
}
