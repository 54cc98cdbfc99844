#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

namespace orvex::com {

// A description that type information lends out (TYPEATTR, FUNCDESC or VARDESC), handed
// back to it however the borrower's scope ends, a throw included.
template <typename Description>
class TypeInfoDescription {
public:
    explicit TypeInfoDescription(ITypeInfo* owner) noexcept : owner_(owner) {}
    ~TypeInfoDescription() { reset(); }
    TypeInfoDescription(const TypeInfoDescription&) = delete;
    TypeInfoDescription& operator=(const TypeInfoDescription&) = delete;

    // Hands back what is held and returns the address for the owner's Get... call.
    Description** out() noexcept
    {
        reset();
        return &description_;
    }

    explicit operator bool() const noexcept { return description_ != nullptr; }
    const Description* operator->() const noexcept { return description_; }
    const Description& operator*() const noexcept { return *description_; }

private:
    void reset() noexcept
    {
        if (description_ != nullptr) {
            release(description_);
            description_ = nullptr;
        }
    }
    void release(TYPEATTR* attributes) noexcept { owner_->ReleaseTypeAttr(attributes); }
    void release(FUNCDESC* function) noexcept { owner_->ReleaseFuncDesc(function); }
    void release(VARDESC* variable) noexcept { owner_->ReleaseVarDesc(variable); }

    Microsoft::WRL::ComPtr<ITypeInfo> owner_;
    Description* description_ = nullptr;
};

} // namespace orvex::com
