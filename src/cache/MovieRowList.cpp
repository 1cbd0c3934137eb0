#include "cache/MovieRowList.h"

#include <algorithm>
#include <iterator>

namespace cache {

void MovieRowList::InsertRow(std::size_t index, LocalMovieRow row)
{
    index = std::min(index, m_rows.size());
    if (index == 0) {
        // The newest batch sits at the top of the list.
        m_batchStarts.push_back(m_rows.size());
        m_rows.push_back(std::move(row));
    } else if (index == LastBatchSize()) {
        m_rows.push_back(std::move(row));
    } else {
        auto rows = TakeRows();
        rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
        m_rows = std::move(rows);
        m_batchStarts.assign(1, 0);
    }
}

std::vector<LocalMovieRow> MovieRowList::TakeRows()
{
    std::vector<LocalMovieRow> rows;
    rows.reserve(m_rows.size());
    std::size_t end = m_rows.size();
    for (auto start = m_batchStarts.rbegin(); start != m_batchStarts.rend(); ++start) {
        const auto first = m_rows.begin() + static_cast<std::ptrdiff_t>(*start);
        std::move(first, m_rows.begin() + static_cast<std::ptrdiff_t>(end), std::back_inserter(rows));
        end = *start;
    }
    m_rows.clear();
    m_batchStarts.clear();
    return rows;
}

} // namespace cache
