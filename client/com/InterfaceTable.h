#pragma once

#include <windows.h>

#include <unknwn.h>

namespace orvex::com {

// One row of a class's interface table: an interface identifier and how to reach that
// interface on an object of the class. A row with a null identifier ends the table.
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*reach)(void* object) noexcept;
};

// Names an interface that the class inherits more than once and the base through which
// it is answered, as for IDispatch on a class with two dual interfaces:
// Via<IDispatch, IUCCLyncClient>.
template <class Interface, class Through>
struct Via {};

namespace detail {

template <class Entry>
struct EntryTraits {
    using Interface = Entry;
    using Through = Entry;
};

template <class Interface_, class Through_>
struct EntryTraits<Via<Interface_, Through_>> {
    using Interface = Interface_;
    using Through = Through_;
};

template <class Class, class Entry>
IUnknown* reach(void* object) noexcept
{
    typename EntryTraits<Entry>::Through* through = static_cast<Class*>(object);
    typename EntryTraits<Entry>::Interface* target = through;
    return target;
}

} // namespace detail

// A class's interface table, in the order QueryInterface searches it. The first entry is
// the primary interface and also answers IUnknown; an interface the table does not list
// is not answered, even when the class implements it.
//
//     using InterfaceTable = orvex::com::InterfaceTable<IUCCContact, orvex::com::Via<IDispatch, IUCCContact>,
//                                                       IConnectionPointContainer>;
template <class... Entries>
struct InterfaceTable {
    static_assert(sizeof...(Entries) > 0, "an interface table needs a primary interface");

    template <class Class>
    static const InterfaceEntry* entries() noexcept
    {
        static const InterfaceEntry table[] = {
            {&__uuidof(typename detail::EntryTraits<Entries>::Interface), &detail::reach<Class, Entries>}...,
            {nullptr, nullptr}};
        return table;
    }
};

// The table-driven QueryInterface: E_POINTER for a null out-pointer; IUnknown gives the
// primary interface; otherwise the first row with the identifier. A hit adds a
// reference; a miss clears the out-pointer and answers E_NOINTERFACE.
HRESULT queryInterface(void* object, const InterfaceEntry* table, REFIID iid, void** out) noexcept;

} // namespace orvex::com
