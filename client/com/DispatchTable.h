#pragma once

#include "client/com/Variant.h"

#include <windows.h>

#include <oaidl.h>

#include <memory>
#include <string>
#include <vector>

namespace orvex::com {

// What a dual interface's members take, read once from its type information, so that
// IDispatch calls can be answered and checked before the system's dispatch code runs:
// that code loses the references it took to a caller's objects when it refuses an
// argument halfway, and reads or writes what a hostile caller's counts promise.
class DispatchTable {
public:
    // What a caller's argument must be for one parameter.
    struct Parameter {
        enum class Kind { Anything, Value, Object };
        Kind kind = Kind::Anything;
        VARTYPE type = VT_EMPTY; // a Value's type
        IID iid = IID_IUnknown;  // an Object's interface
        bool optional = false;
        bool out = false;
        bool in = false;
        // What a caller who leaves the parameter out passes, converted to the parameter's
        // type; empty without a default.
        com::Variant defaultValue;
    };
    struct Row {
        std::wstring name;
        DISPID id;
        INVOKEKIND kind;
        // The parameters a caller passes: all but the return value.
        std::vector<Parameter> parameters;
    };

    // One row per function of the interface; null when the type information cannot list
    // them (or memory runs out), and then the type information answers every call alone.
    static std::unique_ptr<DispatchTable> build(ITypeInfo* typeInfo) noexcept;

    // The last row named exactly `name` (case matters); null for none.
    const Row* find(std::wstring_view name) const noexcept;

    // The member `id` that `flags` may call with `count` arguments; null for an unknown
    // member or kind. `tooMany` tells a known member called with too many arguments.
    const Row* callable(DISPID id, WORD flags, UINT count, bool& tooMany) const noexcept;

    // S_OK when every argument can go to the system's dispatch code as it is. Otherwise
    // the error the call is answered with (and, for an argument of the wrong type, its
    // index in `argumentError`): DISP_E_BADVARTYPE for a VARIANT type no VARIANT may
    // hold, DISP_E_TYPEMISMATCH for one that does not fit its parameter,
    // DISP_E_PARAMNOTFOUND for an argument named by no parameter or a parameter given twice.
    static HRESULT checkArguments(const Row& row, const DISPPARAMS& parameters, UINT* argumentError);

    // Releases what the by-reference arguments of [out]-only parameters refer to. A
    // caller through IDispatch always passes initialised values and, by reference, gives
    // its own variable to be written: the member writes over it without reading it (its
    // vtable callers may hand it uninitialised memory), so the old value is let go here
    // or never. Call it only once `checkArguments` has passed.
    static void releaseOutValues(const Row& row, const DISPPARAMS& parameters) noexcept;

    // The system's dispatch code releases its copies of the first `cArgs` parameters only,
    // and of optional ones with a default: an argument named for a parameter at or beyond
    // the argument count is copied and never released. Such calls are handed on with
    // every argument in its place instead, and each parameter the caller left out given
    // what the system would give it. `ordered` borrows from the caller's arguments and the
    // table's defaults; S_FALSE when the call can go as it is.
    static HRESULT placeArguments(const Row& row, const DISPPARAMS& parameters, std::vector<VARIANT>& ordered);

private:
    std::vector<Row> rows_;
};

} // namespace orvex::com
