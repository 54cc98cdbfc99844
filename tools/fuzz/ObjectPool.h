#pragma once

#include "tools/fuzz/TypeCatalog.h"

#include <ocidl.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

// The provider's objects the walk has been handed so far, each with the interfaces it
// answers QueryInterface for: those of the type library and the system ones. Every object
// that is an event source gets a sink on each of its connection points, and the objects
// those events carry (event data) join the pool too.
class ObjectPool {
public:
    struct Face {
        // An index into the catalog's interfaces, or into SystemMembers::interfaces().
        std::size_t index = 0;
        bool system = false;
        Microsoft::WRL::ComPtr<IUnknown> pointer;
    };
    struct Entry {
        Microsoft::WRL::ComPtr<IUnknown> identity;
        std::string kind;
        std::vector<Face> faces;
        bool pinned = false;
        // Answers no interface of the library, only system ones.
        bool systemOnly = false;
        std::vector<std::pair<Microsoft::WRL::ComPtr<IConnectionPoint>, DWORD>> listeners;
    };

    ObjectPool(const TypeCatalog& types, std::size_t capacity, std::uint64_t seed, bool crossProcess);
    ~ObjectPool();
    ObjectPool(const ObjectPool&) = delete;
    ObjectPool& operator=(const ObjectPool&) = delete;

    // Adds an object not yet in the pool; a full pool drops one of its unpinned objects.
    void add(IUnknown* object, bool pinned = false);
    // Moves the objects that arrived with events into the pool.
    void takeEventObjects();
    // Drops the unpinned objects, or with `everything` all of them and those waiting in
    // the inbox.
    void clear(bool everything);
    void dropEventObjects();
    // After a restart the old class object and integration object are just objects.
    void unpinAll();

    // Limits the interfaces of the library that objects are asked for to those that
    // objects of the same library answered elsewhere (in another run); empty: all.
    void limitTo(std::set<std::size_t> interfaces) { worthAsking = std::move(interfaces); }

    std::vector<Entry>& entries() { return pool; }
    std::vector<IUnknown*> borrowed() const;
    std::size_t eventsReceived() const { return inbox->events.load(); }
    // Catalog interfaces that some object answered, by index.
    const std::set<std::size_t>& answered() const { return answeredInterfaces; }
    // How many distinct interfaces, the library's and the system's, some object answered.
    std::size_t interfacesSeen() const { return answeredInterfaces.size() + answeredSystem.size(); }

private:
    struct Inbox {
        std::mutex mutex;
        std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects;
        std::atomic<std::size_t> events{0};
    };

    void classify(Entry& entry);
    // Asks the object for the catalog's interfaces `indices` not yet in `answeredHere`,
    // and adds those it answers there and to its faces.
    void probe(Entry& entry, const std::set<std::size_t>& indices, std::set<std::size_t>& answeredHere);
    void listen(Entry& entry);
    void forget(Entry& entry);

    const TypeCatalog& catalog;
    const std::size_t capacity;
    const bool acrossProcesses;
    std::mt19937_64 engine;
    std::vector<Entry> pool;
    std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();
    std::set<std::size_t> answeredInterfaces;
    std::set<std::size_t> answeredSystem;
    // What objects asked for every interface answered: catalog indices, and system ones
    // marked. Across processes an object that answers one of these is asked no more.
    std::set<std::set<std::size_t>> knownKinds;
    std::set<std::size_t> worthAsking;
};
