#include "cache/EntryMovieRows.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <utility>

namespace cache {

bool ListsBefore(const EntryMovieRow& a, const EntryMovieRow& b)
{
    if (a.written != b.written)
        return a.written > b.written;
    return a.row.path < b.row.path; // std::string compares bytes as unsigned
}

std::size_t EntryRowIndex(const std::vector<EntryMovieRow>& shown, const EntryMovieRow& row)
{
    return static_cast<std::size_t>(std::upper_bound(shown.begin(), shown.end(), row, ListsBefore) - shown.begin());
}

std::vector<LocalMovieRow> LocalListRows(std::vector<EntryMovieRow> entries, std::vector<LocalMovieRow> plain,
                                         const std::vector<PlainFileAddress>& addresses)
{
    if (!addresses.empty()) {
        std::unordered_map<std::string_view, std::string_view> addressOf;
        for (const PlainFileAddress& address : addresses)
            addressOf.emplace(address.path, address.address);
        for (LocalMovieRow& row : plain) {
            if (const auto found = addressOf.find(row.path); found != addressOf.end() && row.address.empty())
                row.address = found->second;
        }
    }
    std::sort(entries.begin(), entries.end(), ListsBefore);
    std::vector<LocalMovieRow> rows;
    rows.reserve(entries.size() + plain.size());
    for (EntryMovieRow& entry : entries)
        rows.push_back(std::move(entry.row));
    std::move(plain.begin(), plain.end(), std::back_inserter(rows));
    return rows;
}

} // namespace cache
