#pragma once

#include "client/com/Bstr.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

// Generates StartConversation arguments of many shapes: element types, dimension
// counts, lower bounds (near both ends of the index range too), sizes, null arrays and
// null entries, and context data of every kind. Each sample says whether the library
// should accept it, judged from what was generated rather than from the library's code.
class RandomConversationArrays {
public:
    struct Sample {
        orvex::com::SafeArray participants;
        orvex::com::SafeArray types;
        orvex::com::SafeArray datas;
        bool acceptable = true;
        // How many participants reach the host when the call is accepted.
        std::size_t participantCount = 0;
        std::string description;
    };

    explicit RandomConversationArrays(std::uint32_t seed) : random(seed) {}

    Sample next();

private:
    enum class Shape { Null, WrongType, WrongDimensions, NoData, Sound };

    Shape shape();
    bool chance(int percent);
    LONG lowerBound();
    std::wstring text();
    orvex::com::SafeArray malformed(Shape shape, VARTYPE expected, ULONG size, Sample& sample, const char* what);
    void participants(Sample& sample);
    void contextArrays(Sample& sample);
    orvex::com::Variant data(int kind);

    std::mt19937 random;
    // Strings that by-reference context data point to; they outlive every sample.
    std::vector<orvex::com::Bstr> referenced;
    std::deque<BSTR> referencedSlots;
};
