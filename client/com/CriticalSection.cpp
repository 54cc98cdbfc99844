#include "client/com/CriticalSection.h"

namespace orvex::atl {

CriticalSection::CriticalSection(Initialiser initialise) noexcept : valid_(initialise(&section_, 0) != FALSE) {}

CriticalSection::~CriticalSection()
{
    if (valid_) {
        DeleteCriticalSection(&section_);
    }
}

} // namespace orvex::atl
