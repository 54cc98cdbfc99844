#pragma once

#include "tools/fuzz/CallOutcome.h"
#include "tools/fuzz/HostileValues.h"

#include <ocidl.h>
#include <wrl/client.h>

#include <string>
#include <utility>
#include <vector>

// The members of the system interfaces the provider's objects answer besides those of its
// type library (IUnknown, IDispatch, connection points and their enumerators, service
// provider, class factory). No type library describes them, so their calls are written
// here, with hostile values where the marshaller would carry them.
class SystemMembers {
public:
    struct Interface {
        const char* name;
        IID iid;
        std::vector<const char*> members;
    };

    static const std::vector<Interface>& interfaces();

    // `knownIids`: identifiers worth asking for (the type library's and the system's).
    SystemMembers(std::vector<GUID> knownIids, std::vector<std::wstring> memberNames);
    ~SystemMembers();
    SystemMembers(const SystemMembers&) = delete;
    SystemMembers& operator=(const SystemMembers&) = delete;

    CallOutcome call(std::size_t interfaceIndex, std::size_t memberIndex, IUnknown* face, HostileValues& values,
                     bool crossProcess);
    // Takes back every sink that calls of Advise left advised.
    void unadviseAll();
    // Enumerator answers whose fetched count and HRESULT Wine's proxy misread (across
    // processes, whenever items came back); judged by the items instead.
    std::size_t misreadAnswers() const { return misread; }

private:
    CallOutcome unknown(std::size_t member, IUnknown* face, HostileValues& values, bool crossProcess);
    CallOutcome dispatch(std::size_t member, IDispatch* face, HostileValues& values, bool crossProcess);
    CallOutcome container(std::size_t member, IConnectionPointContainer* face, HostileValues& values, bool crossProcess);
    CallOutcome point(std::size_t member, IConnectionPoint* face, HostileValues& values, bool crossProcess);
    template <class Enumerator, class Item>
    CallOutcome enumerate(std::size_t member, Enumerator* face, HostileValues& values, bool crossProcess);
    CallOutcome serviceProvider(IServiceProvider* face, HostileValues& values, bool crossProcess);
    CallOutcome classFactory(std::size_t member, IClassFactory* face, HostileValues& values, bool crossProcess);

    std::vector<GUID> iids;
    std::vector<std::wstring> names;
    std::vector<std::pair<Microsoft::WRL::ComPtr<IConnectionPoint>, DWORD>> advised;
    std::size_t misread = 0;
};
