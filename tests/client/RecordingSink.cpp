#include "tests/client/RecordingSink.h"

#include "client/com/CAtlModule.h"

#include <gtest/gtest.h>

ULONG referenceCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

namespace {

// Every object a test program made is gone by its end: the module counts none.
class NoObjectOutlivesTheTests : public ::testing::Environment {
public:
    void TearDown() override { EXPECT_EQ(orvex::atl::CAtlModule::current()->GetLockCount(), 0); }
};

const auto* const lockCheck = ::testing::AddGlobalTestEnvironment(new NoObjectOutlivesTheTests);

} // namespace
