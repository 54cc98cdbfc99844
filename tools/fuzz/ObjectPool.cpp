#include "tools/fuzz/ObjectPool.h"

#include "tools/office/EventSink.h"

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace {

constexpr std::size_t kInboxLimit = 64;
// Connection points and enumerators come with every call that asks for them: they may
// take only a few places, so that the objects of the library's interfaces stay.
constexpr std::ptrdiff_t kSystemOnlyPlaces = 6;

void unadvise(ObjectPool::Entry& entry)
{
    for (auto& [point, cookie] : entry.listeners) {
        point->Unadvise(cookie);
    }
    entry.listeners.clear();
}

} // namespace

ObjectPool::ObjectPool(const TypeCatalog& types, std::size_t size, std::uint64_t seed, bool crossProcess,
                       std::set<std::size_t> worth)
    : catalog(types), capacity(size), acrossProcesses(crossProcess), engine(seed), worthAsking(std::move(worth))
{
}

ObjectPool::~ObjectPool() { clear(true, true); }

void ObjectPool::add(IUnknown* object, bool pinned)
{
    ComPtr<IUnknown> identity;
    if (object == nullptr ||
        FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())))) {
        return;
    }
    for (Entry& entry : pool) {
        if (entry.identity.Get() == identity.Get()) {
            entry.pinned = entry.pinned || pinned;
            return;
        }
    }
    Entry entry;
    entry.identity = identity;
    entry.pinned = pinned;
    classify(entry);
    entry.systemOnly = std::all_of(entry.faces.begin(), entry.faces.end(),
                                   [&](const Face& face) { return catalog.interfaces()[face.index].system; });
    const bool quotaFull = entry.systemOnly && std::count_if(pool.begin(), pool.end(), [](const Entry& held) {
                                                   return !held.pinned && held.systemOnly;
                                               }) >= kSystemOnlyPlaces;
    if (quotaFull || pool.size() >= capacity) {
        std::vector<std::size_t> candidates;
        for (std::size_t at = 0; at < pool.size(); ++at) {
            if (!pool[at].pinned && (!quotaFull || pool[at].systemOnly)) {
                candidates.push_back(at);
            }
        }
        if (candidates.empty()) {
            return;
        }
        const std::size_t victim = candidates[engine() % candidates.size()];
        unadvise(pool[victim]);
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(victim));
    }
    listen(entry);
    pool.push_back(std::move(entry));
}

void ObjectPool::classify(Entry& entry)
{
    // Across processes every QueryInterface the object does not answer is a round trip, and
    // the first one for each interface costs Wine a tenth of a second. So an object is
    // first asked for the interfaces some object answered before and for the system ones;
    // if it answers exactly what an earlier object answered after being asked for
    // everything, it is taken to be of that object's kind and asked no more.
    std::set<std::size_t> answeredHere;
    std::set<std::size_t> system;
    std::set<std::size_t> library;
    for (std::size_t index = 0; index < catalog.interfaces().size(); ++index) {
        (catalog.interfaces()[index].system ? system : library).insert(index);
    }
    probe(entry, answeredInterfaces, answeredHere);
    probe(entry, system, answeredHere);
    // Only IUnknown and IDispatch tell nothing of the kind: such an object may answer an
    // interface no object answered before, as a locale string does, so it is asked for all.
    const bool telling = std::any_of(answeredHere.begin(), answeredHere.end(), [&](std::size_t index) {
        const IID& iid = catalog.interfaces()[index].iid;
        return iid != IID_IUnknown && iid != IID_IDispatch;
    });
    if (!acrossProcesses || !telling || !knownKinds.contains(answeredHere)) {
        probe(entry, worthAsking.empty() ? library : worthAsking, answeredHere);
        knownKinds.insert(answeredHere);
    }
}

void ObjectPool::probe(Entry& entry, const std::set<std::size_t>& indices, std::set<std::size_t>& answeredHere)
{
    for (const std::size_t index : std::vector<std::size_t>(indices.begin(), indices.end())) {
        ComPtr<IUnknown> face;
        if (!answeredHere.contains(index) &&
            SUCCEEDED(entry.identity->QueryInterface(catalog.interfaces()[index].iid,
                                                     reinterpret_cast<void**>(face.GetAddressOf())))) {
            answeredInterfaces.insert(index);
            answeredHere.insert(index);
            entry.faces.push_back({index, face});
        }
    }
}

void ObjectPool::listen(Entry& entry)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IEnumConnectionPoints> points;
    if (FAILED(entry.identity.As(&container)) || FAILED(container->EnumConnectionPoints(&points)) || !points) {
        return;
    }
    std::weak_ptr<Inbox> weakInbox = inbox;
    // Judged by the item, not the answer: Wine's proxy misreads the answer of Next across
    // processes whenever it carries one.
    for (ComPtr<IConnectionPoint> point;
         (points->Next(1, point.ReleaseAndGetAddressOf(), nullptr), point != nullptr);) {
        IID events{};
        if (FAILED(point->GetConnectionInterface(&events))) {
            continue;
        }
        // Events come on the host's threads: the objects they carry wait in the inbox.
        const auto sink = EventSink::create(events, [weakInbox](DISPID, const DISPPARAMS& parameters) {
            const auto box = weakInbox.lock();
            if (!box) {
                return;
            }
            ++box->events;
            std::lock_guard lock(box->mutex);
            for (UINT at = 0; at < parameters.cArgs && box->objects.size() < kInboxLimit; ++at) {
                const VARIANT& argument = parameters.rgvarg[at];
                if ((argument.vt == VT_DISPATCH || argument.vt == VT_UNKNOWN) && argument.punkVal != nullptr) {
                    box->objects.emplace_back(argument.punkVal);
                }
            }
        });
        DWORD cookie = 0;
        if (sink && SUCCEEDED(point->Advise(sink.Get(), &cookie))) {
            entry.listeners.emplace_back(point, cookie);
        }
    }
}

void ObjectPool::takeEventObjects()
{
    std::vector<ComPtr<IUnknown>> arrived;
    {
        std::lock_guard lock(inbox->mutex);
        arrived.swap(inbox->objects);
    }
    for (const auto& object : arrived) {
        add(object.Get());
    }
}

void ObjectPool::clear(bool pinnedToo, bool inboxToo)
{
    std::vector<Entry> kept;
    for (Entry& entry : pool) {
        if (entry.pinned && !pinnedToo) {
            kept.push_back(std::move(entry));
        } else {
            unadvise(entry);
        }
    }
    pool = std::move(kept);
    // Released outside the lock: a release may wait for an event in progress on a host
    // thread, and that event may be waiting for this lock.
    std::vector<ComPtr<IUnknown>> dropped;
    if (inboxToo) {
        std::lock_guard lock(inbox->mutex);
        dropped.swap(inbox->objects);
    }
}

std::size_t ObjectPool::libraryInterfacesAnswered() const
{
    return static_cast<std::size_t>(std::count_if(answeredInterfaces.begin(), answeredInterfaces.end(), [&](std::size_t index) {
        return !catalog.interfaces()[index].system;
    }));
}
