#pragma once

#include "tools/fuzz/HostileValues.h"
#include "tools/fuzz/MemberCaller.h"
#include "tools/fuzz/TypeCatalog.h"

#include <ocidl.h>
#include <wrl/client.h>

#include <string>
#include <utility>
#include <vector>

// The members of the system interfaces the provider's objects answer besides those of its
// type library (IUnknown, IDispatch, connection points and their enumerators, service
// provider, class factory). No type library describes them, so their calls are written
// here, with hostile values where a caller could pass them.
class SystemMembers {
public:
    explicit SystemMembers(const TypeCatalog& catalog);
    ~SystemMembers();
    SystemMembers(const SystemMembers&) = delete;
    SystemMembers& operator=(const SystemMembers&) = delete;

    CallOutcome call(const InterfaceEntry& described, std::size_t member, IUnknown* face, HostileValues& values,
                     bool crossProcess);
    // Takes back every sink that calls of Advise left advised.
    void unadviseAll();
    // Enumerator answers whose fetched count and HRESULT Wine's proxy misread (across
    // processes, whenever items came back); judged by the items instead.
    std::size_t misreadAnswers() const { return misread; }

private:
    CallOutcome queryInterface(IUnknown* face, HostileValues& values, bool crossProcess);
    CallOutcome dispatch(std::size_t member, IDispatch* face, HostileValues& values, bool crossProcess);
    CallOutcome container(std::size_t member, IConnectionPointContainer* face, HostileValues& values, bool nullOut);
    CallOutcome point(std::size_t member, IConnectionPoint* face, HostileValues& values, bool nullOut);
    CallOutcome enumerator(std::size_t member, IUnknown* face, bool ofPoints, HostileValues& values,
                           bool crossProcess);
    CallOutcome create(std::size_t member, IClassFactory* face, HostileValues& values, bool nullOut);

    std::vector<GUID> iids;
    std::vector<std::wstring> names;
    std::vector<std::pair<Microsoft::WRL::ComPtr<IConnectionPoint>, DWORD>> advised;
    std::size_t misread = 0;
};
