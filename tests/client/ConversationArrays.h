#pragma once

#include "client/com/SafeArray.h"
#include "client/com/Variant.h"

#include <windows.h>

#include <oaidl.h>

#include <optional>
#include <string>
#include <vector>

// Builds the arrays Office hands to StartConversation, and the malformed ones it might.
class ConversationArrays {
public:
    // A BSTR array; an empty optional stands for a null entry.
    static orvex::com::SafeArray strings(const std::vector<std::optional<std::wstring>>& values, LONG lowerBound = 0);
    static orvex::com::SafeArray int32s(const std::vector<LONG>& values, LONG lowerBound = 0);
    static orvex::com::SafeArray variants(const std::vector<orvex::com::Variant>& values, LONG lowerBound = 0);
    // An array of the given element type with `dimensions` dimensions of `count`
    // cleared elements each.
    static orvex::com::SafeArray shaped(VARTYPE elementType, UINT dimensions, ULONG count, LONG lowerBound = 0);
    // A one-dimensional descriptor claiming `count` elements whose data was never
    // allocated.
    static orvex::com::SafeArray withoutData(VARTYPE elementType, ULONG count);

    static orvex::com::Variant text(const std::wstring& value);
    static orvex::com::Variant nullText();
};
