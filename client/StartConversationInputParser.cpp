#include "client/StartConversationInputParser.h"

#include "client/com/ComError.h"
#include "client/com/Variant.h"
#include "host/HostLog.h"

#include "OfficeIntegrationLib.h"

#include <algorithm>
#include <climits>

using orvex::com::Bstr;
using orvex::com::ComError;
using orvex::com::Variant;

namespace {

constexpr char kLogSource[] = "StartConversationInputParser";
constexpr char kConstructorFunction[] = "StartConversationInputParser::StartConversationInputParser";
constexpr char kCheckArrayTypeFunction[] = "StartConversationInputParser::checkArrayType";
constexpr char kParseContextFunction[] = "StartConversationInputParser::parseContext";

constexpr USHORT kElementKindFeatures = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;

// What the array's own features say about how its elements are copied. The declared
// type alone is not enough: SafeArrayGetElement copies by these features, so an array
// whose features disagree with its declared type would be read as something it is not.
bool featuresMatch(const SAFEARRAY& array, VARTYPE type)
{
    const USHORT kind = array.fFeatures & kElementKindFeatures;
    switch (type) {
    case VT_BSTR:
        return kind == FADF_BSTR && array.cbElements == sizeof(BSTR);
    case VT_VARIANT:
        return kind == FADF_VARIANT && array.cbElements == sizeof(VARIANT);
    case VT_I4:
        return kind == 0 && array.cbElements == sizeof(LONG);
    default:
        return false;
    }
}

// One element by its index. An array whose data was never allocated is refused here,
// since the system would read through a null data pointer. Only a failed allocation
// of the copy is raised; every other failure is the caller's to report.
bool readElement(SAFEARRAY* array, LONG index, void* destination)
{
    if (array->pvData == nullptr) {
        return false;
    }
    const HRESULT result = SafeArrayGetElement(array, &index, destination);
    if (result == E_OUTOFMEMORY) {
        throw ComError(E_OUTOFMEMORY);
    }
    return SUCCEEDED(result);
}

bool hasEmbeddedNul(const Bstr& text)
{
    const std::wstring_view view = text.view();
    return std::find(view.begin(), view.end(), L'\0') != view.end();
}

} // namespace

StartConversationInputParser::StartConversationInputParser(SAFEARRAY* participants, SAFEARRAY* contextTypes,
                                                           SAFEARRAY* contextDatas)
{
    if (!checkArrayType(participants, VT_BSTR) || !checkArrayType(contextTypes, VT_I4) ||
        !checkArrayType(contextDatas, VT_VARIANT)) {
        return;
    }
    const auto participantBounds = boundsOf(participants);
    if (!participantBounds) {
        ORVEX_LOG(LogLevel::Error, kConstructorFunction, "Unable to get bounds of Participants URIs array");
        return;
    }
    participantCount = static_cast<std::int32_t>(participantBounds->count());
    if (!parseContext(contextTypes, contextDatas)) {
        return;
    }
    valid = readParticipants(participants, *participantBounds);
}

bool StartConversationInputParser::checkArrayType(SAFEARRAY* array, VARTYPE expectedType)
{
    if (array == nullptr) {
        ORVEX_LOG(LogLevel::Error, kCheckArrayTypeFunction, "Array is nullptr");
        return false;
    }
    VARTYPE type = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &type)) || type != expectedType || !featuresMatch(*array, expectedType)) {
        ORVEX_LOG(LogLevel::Error, kCheckArrayTypeFunction, "Array is not of expected Type");
        return false;
    }
    // Every array is read along one dimension; a second one would make single indices
    // fail, or on some systems address the wrong elements.
    if (SafeArrayGetDim(array) != 1) {
        ORVEX_LOG(LogLevel::Error, kCheckArrayTypeFunction, "Array is not one-dimensional");
        return false;
    }
    return true;
}

std::optional<StartConversationInputParser::Bounds> StartConversationInputParser::boundsOf(SAFEARRAY* array)
{
    Bounds bounds{};
    if (FAILED(SafeArrayGetUBound(array, 1, &bounds.upper)) || FAILED(SafeArrayGetLBound(array, 1, &bounds.lower))) {
        return std::nullopt;
    }
    // A lower bound near either end of the index range makes the bounds wrap around,
    // and the system cannot address the elements of an array that ends at the top of
    // that range: such an array has no index range that could be walked.
    const std::int64_t elements = array->rgsabound[0].cElements;
    if (bounds.count() != elements || bounds.lower + elements > std::int64_t{LONG_MAX}) {
        return std::nullopt;
    }
    return bounds;
}

bool StartConversationInputParser::parseContext(SAFEARRAY* contextTypes, SAFEARRAY* contextDatas)
{
    const auto typeBounds = boundsOf(contextTypes);
    const auto dataBounds = boundsOf(contextDatas);
    if (!typeBounds || !dataBounds) {
        ORVEX_LOG(LogLevel::Error, kParseContextFunction, "Unable to get bounds of context arrays");
        return false;
    }
    if (typeBounds->upper - std::int64_t{typeBounds->lower} != dataBounds->upper - std::int64_t{dataBounds->lower}) {
        ORVEX_LOG(LogLevel::Error, kParseContextFunction, "ContextTypes and ContextData size do not match");
        return false;
    }
    // Entries pair up by index; with different lower bounds a type would be matched
    // with its neighbour's data, or with an index outside the data array.
    if (typeBounds->count() > 0 && typeBounds->lower != dataBounds->lower) {
        ORVEX_LOG(LogLevel::Error, kParseContextFunction, "ContextTypes and ContextData bounds do not match");
        return false;
    }
    for (std::int64_t index = typeBounds->lower; index <= typeBounds->upper; ++index) {
        const LONG at = static_cast<LONG>(index);
        LONG type = 0;
        if (!readElement(contextTypes, at, &type)) {
            ORVEX_LOG(LogLevel::Error, kParseContextFunction, "Unable to read context entry " << at);
            return false;
        }
        if (type != uiaConversationContextRemoteEndpointUri && type != uiaConversationContextSubject) {
            continue;
        }
        Variant data;
        if (!readElement(contextDatas, at, data.out())) {
            ORVEX_LOG(LogLevel::Error, kParseContextFunction, "Unable to read context entry " << at);
            return false;
        }
        const bool taken = type == uiaConversationContextSubject
                               ? takeContextText(data.get(), subject, subjectSet, "Unable to set Subject",
                                                 "Subject contains an embedded NUL")
                               : takeContextText(data.get(), endpointUri, endpointUriSet, "Unable to set Endpoint URI",
                                                 "Endpoint URI contains an embedded NUL");
        if (!taken) {
            return false;
        }
    }
    return true;
}

bool StartConversationInputParser::takeContextText(const VARIANT& data, Bstr& target, bool& isSet,
                                                   const char* notTextMessage, const char* embeddedNulMessage)
{
    if (data.vt != VT_BSTR) {
        ORVEX_LOG(LogLevel::Error, kParseContextFunction, notTextMessage);
        return false;
    }
    Bstr text = Bstr::copyOf(data.bstrVal);
    if (hasEmbeddedNul(text)) {
        ORVEX_LOG(LogLevel::Error, kParseContextFunction, embeddedNulMessage);
        return false;
    }
    target = std::move(text);
    isSet = true;
    return true;
}

bool StartConversationInputParser::readParticipants(SAFEARRAY* participants, Bounds bounds)
{
    std::vector<std::string> uris;
    for (std::int64_t index = bounds.lower; index <= bounds.upper; ++index) {
        Bstr uri;
        if (!readElement(participants, static_cast<LONG>(index), uri.out())) {
            ORVEX_LOG(LogLevel::Error, kConstructorFunction, "Unable to read Participants URIs entry " << index);
            return false;
        }
        if (hasEmbeddedNul(uri)) {
            ORVEX_LOG(LogLevel::Error, kConstructorFunction, "Participant URI contains an embedded NUL");
            return false;
        }
        uris.push_back(uri.toUtf8());
    }
    participantUris = std::move(uris);
    return true;
}
