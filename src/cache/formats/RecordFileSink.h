#pragma once
// Hands a container folder's records on with the record file's name before each locator, for readers that name
// their records within one file of the folder.
#include "cache/formats/StoredFormat.h"

#include <string>
#include <string_view>

namespace cache {

class RecordFileSink final : public RecordSink {
public:
    RecordFileSink(std::string_view fileName, RecordSink& sink) : m_prefix(std::string(fileName) + '/'), m_sink(sink) {}

    bool Response(std::string_view locator, StoredResponse& response, std::int64_t written) override
    {
        return m_sink.Response(Locator(locator), response, written);
    }
    void Refused(std::string_view locator, Refusal why) override { m_sink.Refused(Locator(locator), why); }
    void NotRead(std::string_view reason) override { m_sink.NotRead(reason); }

private:
    std::string_view Locator(std::string_view locator)
    {
        m_locator.assign(m_prefix).append(locator);
        return m_locator;
    }

    std::string m_prefix;
    std::string m_locator; // one buffer for every record's
    RecordSink& m_sink;
};

} // namespace cache
