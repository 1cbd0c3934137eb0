// libFuzzer target: an index.dat read, and a file looked up in each of its subfolders.
// Seeds are the real indexes, copied at fuzz time (internet_explorer_index.seeds).
#include "cache/formats/InternetExplorerIndex.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto read = cache::InternetExplorerIndex::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!read)
        return 0;
    const cache::InternetExplorerIndex* index = &*read;
    if (index->Size() > 0 && index->Subfolders().empty())
        std::abort(); // every named file lies in one of the index's subfolders
    for (const std::string& subfolder : index->Subfolders())
        index->AddressOf(subfolder, "index.dat");
    return 0;
}
