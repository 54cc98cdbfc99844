#pragma once

#include "client/com/Bstr.h"

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Checks and unpacks the three arrays Office hands to StartConversation, logging the
// first problem it finds. A value object that lives for one call; the arrays stay the
// caller's and are only read.
//
// Beyond Office's ordinary mistakes (a null array, the wrong element type, context
// arrays of different sizes, a subject or endpoint that is not a string) it also refuses
// arrays that are not one-dimensional, context arrays whose lower bounds differ (their
// entries would pair up wrongly), elements that cannot be read, and texts with embedded
// NULs, which the host would cut short. Every refusal is a logged error and `valid`
// false, never an exception. Only running out of memory is raised, as ComError.
class StartConversationInputParser {
public:
    StartConversationInputParser(SAFEARRAY* participantUris, SAFEARRAY* contextTypes, SAFEARRAY* contextDatas);

    StartConversationInputParser(const StartConversationInputParser&) = delete;
    StartConversationInputParser& operator=(const StartConversationInputParser&) = delete;

    // Elements of the participant array; 0 until its bounds were read.
    std::int32_t participantCount = 0;
    // The participants in array order, in UTF-8 (a null entry gives an empty text);
    // filled only when every check passed.
    std::vector<std::string> participantUris;
    // The last endpoint-URI and subject context values; null when none was given.
    orvex::com::Bstr endpointUri;
    orvex::com::Bstr subject;
    bool valid = false;
    bool endpointUriSet = false;
    bool subjectSet = false;

private:
    struct Bounds {
        LONG lower;
        LONG upper;
        std::int64_t count() const { return std::int64_t{upper} - lower + 1; }
    };

    static bool checkArrayType(SAFEARRAY* array, VARTYPE expectedType);
    // The bounds of a one-dimensional array, or nothing when they cannot be read or
    // describe no valid index range.
    static std::optional<Bounds> boundsOf(SAFEARRAY* array);
    bool parseContext(SAFEARRAY* contextTypes, SAFEARRAY* contextDatas);
    bool takeContextText(const VARIANT& data, orvex::com::Bstr& target, bool& isSet, const char* notTextMessage,
                         const char* embeddedNulMessage);
    bool readParticipants(SAFEARRAY* participants, Bounds bounds);
};
