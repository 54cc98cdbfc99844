#include "tools/fuzz/ObjectPool.h"

#include "tools/fuzz/SystemMembers.h"
#include "tools/office/EventSink.h"

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace {

constexpr std::size_t kInboxLimit = 64;
// Marks a system interface's index among the interfaces an object answered.
constexpr std::size_t kSystemMark = std::size_t{1} << 30;
constexpr std::size_t kSystemOnlyPlaces = 6;
// What every automation object answers: no clue to its kind.
constexpr std::size_t kUnknownAndDispatch[] = {kSystemMark | 0, kSystemMark | 1};

} // namespace

ObjectPool::ObjectPool(const TypeCatalog& types, std::size_t size, std::uint64_t seed, bool crossProcess)
    : catalog(types), capacity(size), acrossProcesses(crossProcess), engine(seed)
{
}

ObjectPool::~ObjectPool() { clear(true); }

void ObjectPool::add(IUnknown* object, bool pinned)
{
    ComPtr<IUnknown> identity;
    if (object == nullptr || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())))) {
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
    // Connection points and enumerators come with every call that asks for them: they
    // may take only a few places, so that the objects of the library's interfaces stay.
    const bool systemOnly =
        std::none_of(entry.faces.begin(), entry.faces.end(), [](const Face& face) { return !face.system; });
    const auto systemOnlyHeld = std::count_if(pool.begin(), pool.end(), [](const Entry& held) {
        return !held.pinned && held.systemOnly;
    });
    const bool quotaFull = systemOnly && systemOnlyHeld >= static_cast<std::ptrdiff_t>(kSystemOnlyPlaces);
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
        forget(pool[victim]);
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(victim));
    }
    entry.systemOnly = systemOnly;
    listen(entry);
    pool.push_back(std::move(entry));
}

void ObjectPool::classify(Entry& entry)
{
    // Across processes every QueryInterface the object does not answer is a round trip,
    // and the first one for each interface costs Wine a tenth of a second. So an object is
    // only asked for those worth asking, when they are known; and it is first asked for the interfaces some object answered before; if it
    // answers exactly what an earlier object answered after being asked for everything,
    // it is taken to be of that object's kind and asked no more.
    std::set<std::size_t> answeredHere;
    probe(entry, answeredInterfaces, answeredHere);
    const auto& system = SystemMembers::interfaces();
    for (std::size_t index = 0; index < system.size(); ++index) {
        ComPtr<IUnknown> face;
        if (SUCCEEDED(entry.identity->QueryInterface(system[index].iid, reinterpret_cast<void**>(face.GetAddressOf())))) {
            answeredSystem.insert(index);
            answeredHere.insert(kSystemMark | index);
            entry.faces.push_back({index, true, face});
        }
    }
    // An object that answered nothing telling yet (only IUnknown and IDispatch) may answer
    // an interface no object answered before, as a locale string does: it is asked for all.
    const bool telling = std::any_of(answeredHere.begin(), answeredHere.end(), [](std::size_t index) {
        return std::find(std::begin(kUnknownAndDispatch), std::end(kUnknownAndDispatch), index) ==
               std::end(kUnknownAndDispatch);
    });
    if (!acrossProcesses || !telling || !knownKinds.contains(answeredHere)) {
        std::set<std::size_t> rest = worthAsking;
        if (rest.empty()) {
            for (std::size_t index = 0; index < catalog.interfaces().size(); ++index) {
                rest.insert(index);
            }
        }
        probe(entry, rest, answeredHere);
        knownKinds.insert(answeredHere);
    }
    // The kind is the first library interface the object answers, else its first system
    // interface other than IUnknown.
    for (const Face& face : entry.faces) {
        if (!face.system) {
            entry.kind = TypeCatalog::narrow(catalog.interfaces()[face.index].name);
            break;
        }
    }
    for (const Face& face : entry.faces) {
        if (entry.kind.empty() && face.system && face.index != 0) {
            entry.kind = system[face.index].name;
        }
    }
    if (entry.kind.empty()) {
        entry.kind = "IUnknown";
    }
}

void ObjectPool::probe(Entry& entry, const std::set<std::size_t>& indices, std::set<std::size_t>& answeredHere)
{
    const auto& interfaces = catalog.interfaces();
    const auto& system = SystemMembers::interfaces();
    for (const std::size_t index : std::vector<std::size_t>(indices.begin(), indices.end())) {
        // A system interface in the library (IClassFactory) is described in its wire form,
        // not as its vtable is: such interfaces are called as the system declares them.
        const bool described = std::any_of(system.begin(), system.end(), [&](const SystemMembers::Interface& known) {
            return IsEqualIID(known.iid, interfaces[index].iid);
        });
        if (described || answeredHere.contains(index)) {
            continue;
        }
        ComPtr<IUnknown> face;
        if (SUCCEEDED(entry.identity->QueryInterface(interfaces[index].iid, reinterpret_cast<void**>(face.GetAddressOf())))) {
            answeredInterfaces.insert(index);
            answeredHere.insert(index);
            entry.faces.push_back({index, false, face});
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

void ObjectPool::forget(Entry& entry)
{
    for (auto& [point, cookie] : entry.listeners) {
        point->Unadvise(cookie);
    }
    entry.listeners.clear();
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

void ObjectPool::clear(bool everything)
{
    std::vector<Entry> kept;
    for (Entry& entry : pool) {
        if (entry.pinned && !everything) {
            kept.push_back(std::move(entry));
        } else {
            forget(entry);
        }
    }
    pool = std::move(kept);
    if (everything) {
        dropEventObjects();
    }
}

void ObjectPool::unpinAll()
{
    for (Entry& entry : pool) {
        entry.pinned = false;
    }
}

void ObjectPool::dropEventObjects()
{
    // Released outside the lock: a release may wait for an event in progress on a host
    // thread, and that event may be waiting for this lock.
    std::vector<ComPtr<IUnknown>> dropped;
    {
        std::lock_guard lock(inbox->mutex);
        dropped.swap(inbox->objects);
    }
}

std::vector<IUnknown*> ObjectPool::borrowed() const
{
    std::vector<IUnknown*> objects;
    objects.reserve(pool.size());
    for (const Entry& entry : pool) {
        objects.push_back(entry.identity.Get());
    }
    return objects;
}
