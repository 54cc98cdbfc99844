#pragma once

namespace orvex::com {

// The base for an interface a class implements directly, without IDispatchImpl or
// another piece of the machinery (IServiceProvider, IClassFactory):
//
//     class ClassFactory : public orvex::com::CComObjectRootEx, ..., public orvex::com::Implements<IClassFactory>
//
// COM interfaces have no virtual destructor, because objects are only ever destroyed by
// their own Release; the compiler's warning about deleting through such a base is
// silenced here, once, instead of in every class.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <class Interface>
class Implements : public Interface {
protected:
    ~Implements() = default;
};
#pragma GCC diagnostic pop

} // namespace orvex::com
