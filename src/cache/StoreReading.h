#pragma once
// Reading the stores the walk found, on whatever thread calls it: each format by its layout, every movie it
// holds as a row, in the order the stores list them.
#include "cache/EntryMovieRows.h"
#include "cache/FoundStores.h"
#include "cache/formats/StoredResponse.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace cache {

// A store that is told by its names but not read (a version or form Plumeroc does not read), and why.
struct UnreadStore {
    std::string path;
    std::string format; // the format's name
    std::string reason;

    friend bool operator==(const UnreadStore&, const UnreadStore&) = default;
};

// What reading finds: a movie's row, an address for a plain movie file, or a store that cannot be read.
using StoreFinding = std::variant<EntryMovieRow, PlainFileAddress, UnreadStore>;
using FindingSink = std::function<void(StoreFinding)>;

// What reading the stores hands on, before anything is made of it: every response with its row path and when
// it was written (readable during the call only), the address an index gives a plain file, a store not read.
class StoreVisitor {
public:
    virtual void Response(std::string path, StoredResponse& response, std::int64_t written) = 0;
    virtual void PlainAddress(PlainFileAddress address) = 0;
    virtual void Unread(UnreadStore store) = 0;

protected:
    ~StoreVisitor() = default;
};

// Reads every store of `stores` as ReadStores does, handing each response to `visitor`.
void VisitStores(const std::vector<FoundStore>& stores, const std::atomic<bool>& stop, StoreVisitor& visitor);

// Reads every store of `stores` and hands each finding to `found` as it is made. A store reached twice (the
// same folder or file by two paths, for the same format) is read once. `stop` is looked at before each entry
// and while long bodies are decoded; once set, reading ends soon without further findings. Unreadable,
// damaged, half-written and cut-short entries give no row and no message.
void ReadStores(const std::vector<FoundStore>& stores, const std::atomic<bool>& stop, const FindingSink& found);

} // namespace cache
