#pragma once
// The list the cache walk fills, kept so that its insertion pattern costs nothing extra.
#include "cache/LocalMovieRow.h"

#include <vector>

namespace cache {

// Each folder's movies are inserted from row 0 downwards, so a plain vector (or a widget) would
// shift every earlier row once per movie. Here a run of insertions at 0, 1, 2, ... is kept as one
// batch and batches are laid out in reverse only when the rows are taken: linear overall. Any
// other insertion is still honoured, at the cost of one rearrangement.
class MovieRowList final : public MovieRowSink {
public:
    void InsertRow(std::size_t index, LocalMovieRow row) override;

    std::size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }

    // The rows in list order; the list is left empty.
    std::vector<LocalMovieRow> TakeRows();

private:
    std::size_t LastBatchSize() const { return m_batchStarts.empty() ? 0 : m_rows.size() - m_batchStarts.back(); }

    std::vector<LocalMovieRow> m_rows;      // batch after batch, in the order they were started
    std::vector<std::size_t> m_batchStarts; // index in m_rows where each batch begins
};

} // namespace cache
