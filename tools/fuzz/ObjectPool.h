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
#include <vector>

// The provider's objects the walk has been handed so far, each with the interfaces of the
// catalog (the library's and the system's) it answers QueryInterface for. Every object that
// is an event source gets a sink on each of its connection points, and the objects those
// events carry join the pool too.
class ObjectPool {
public:
    struct Face {
        std::size_t index = 0; // into the catalog's interfaces
        Microsoft::WRL::ComPtr<IUnknown> pointer;
    };
    struct Entry {
        Microsoft::WRL::ComPtr<IUnknown> identity;
        std::vector<Face> faces;
        bool pinned = false;
        // Answers no interface of the library, only system ones.
        bool systemOnly = false;
        std::vector<std::pair<Microsoft::WRL::ComPtr<IConnectionPoint>, DWORD>> listeners;
    };

    // Across processes, objects are asked only for the interfaces objects answered in
    // another run, `worthAsking` (each question unanswered costs a round trip); empty: all.
    ObjectPool(const TypeCatalog& types, std::size_t capacity, std::uint64_t seed, bool crossProcess,
               std::set<std::size_t> worthAsking);
    ~ObjectPool();
    ObjectPool(const ObjectPool&) = delete;
    ObjectPool& operator=(const ObjectPool&) = delete;

    // Adds an object not yet in the pool; a full pool drops one of its unpinned objects.
    void add(IUnknown* object, bool pinned = false);
    // Moves the objects that arrived with events into the pool.
    void takeEventObjects();
    // Drops the unpinned objects, the pinned ones too (after a restart the old class object
    // and integration object are just objects), and those waiting in the inbox.
    void clear(bool pinnedToo, bool inboxToo);

    std::vector<Entry>& entries() { return pool; }
    std::size_t eventsReceived() const { return inbox->events.load(); }
    // The catalog's interfaces (library and system) that some object answered, by index.
    const std::set<std::size_t>& answered() const { return answeredInterfaces; }
    std::size_t libraryInterfacesAnswered() const;

private:
    struct Inbox {
        std::mutex mutex;
        std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects;
        std::atomic<std::size_t> events{0};
    };

    void classify(Entry& entry);
    // Asks the object for those of `indices` not yet in `answeredHere`, and adds those it
    // answers there and to its faces.
    void probe(Entry& entry, const std::set<std::size_t>& indices, std::set<std::size_t>& answeredHere);
    void listen(Entry& entry);

    const TypeCatalog& catalog;
    const std::size_t capacity;
    const bool acrossProcesses;
    std::mt19937_64 engine;
    std::vector<Entry> pool;
    std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();
    std::set<std::size_t> answeredInterfaces;
    // The interfaces objects asked for every one answered: across processes an object that
    // answers the same is taken to be of that kind and asked no more.
    std::set<std::set<std::size_t>> knownKinds;
    std::set<std::size_t> worthAsking;
};
