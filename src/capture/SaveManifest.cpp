#include "capture/SaveManifest.h"

#include "platform/JsonText.h"

#include <algorithm>
#include <ctime>

namespace capture {

namespace {

using platform::JsonObject;

std::string MissingJson(const SourceAnswer& answer)
{
    JsonObject object;
    object.Add("reason", MissingText(answer.why));
    if (answer.status != 0)
        object.Add("status", static_cast<std::uint64_t>(answer.status));
    if (!answer.detail.empty())
        object.Add("detail", answer.detail);
    if (!answer.finalAddress.empty())
        object.Add("finalAddress", answer.finalAddress);
    for (const auto& [name, text] : answer.facts)
        object.Add(name, text);
    return object.Text();
}

std::string TriedJson(const std::string& source, const SourceAnswer& answer)
{
    // {"from": ..., then the fields of the reason}
    return "{\"from\":" + platform::JsonString(source) + "," + MissingJson(answer).substr(1);
}

std::string FoundJson(const FoundBy& found)
{
    JsonObject object;
    object.Add("how", found.how);
    if (!found.by.empty())
        object.Add("by", found.by);
    object.Add("name", found.name);
    if (found.embedded)
        object.AddFlag("embedded", true);
    if (!found.alternatives.empty()) {
        std::vector<std::string> alternatives;
        for (const FoundBy::Alternative& alternative : found.alternatives) {
            JsonObject item;
            item.Add("address", alternative.address);
            if (alternative.missing)
                item.AddJson("missing", MissingJson(*alternative.missing));
            alternatives.push_back(item.Text());
        }
        object.AddJson("alternatives", platform::JsonArray(alternatives));
    }
    return object.Text();
}

std::string SavedJson(const FileRecord& record)
{
    JsonObject object;
    object.Add("path", record.path);
    object.Add("size", record.size);
    object.Add("sha256", record.sha256);
    object.Add("from", record.from);
    if (record.answer.status != 0)
        object.Add("status", static_cast<std::uint64_t>(record.answer.status));
    if (!record.answer.finalAddress.empty())
        object.Add("finalAddress", record.answer.finalAddress);
    for (const auto& [name, text] : record.answer.facts)
        object.Add(name, text);
    return object.Text();
}

std::string RecordJson(const FileRecord& record)
{
    JsonObject object;
    if (record.address.empty())
        object.Add("file", record.file);
    else
        object.Add("address", record.address);
    if (record.saved)
        object.AddJson("saved", SavedJson(record));
    else
        object.AddJson("missing", MissingJson(record.answer));
    if (!record.tried.empty()) {
        std::vector<std::string> tried;
        for (const auto& [source, answer] : record.tried)
            tried.push_back(TriedJson(source, answer));
        object.AddJson("tried", platform::JsonArray(tried));
    }
    std::vector<std::string> found;
    for (const FoundBy& by : record.found)
        found.push_back(FoundJson(by));
    object.AddJson("found", platform::JsonArray(found));
    return object.Text();
}

std::string NamesJson(const std::vector<std::pair<std::string, FoundBy>>& names, std::string_view field)
{
    std::vector<std::string> items;
    items.reserve(names.size());
    for (const auto& [name, found] : names)
        items.push_back(JsonObject().Add(field, name).AddJson("found", FoundJson(found)).Text());
    return platform::JsonArray(items);
}

std::string Strings(const std::vector<std::string>& texts)
{
    std::vector<std::string> items;
    items.reserve(texts.size());
    for (const std::string& text : texts)
        items.push_back(platform::JsonString(text));
    return platform::JsonArray(items);
}

// One record a line, so that a person can read the manifest and a line tool can pick records out of it.
std::string RecordLines(const std::vector<std::string>& records)
{
    std::string text = "[";
    for (std::size_t i = 0; i < records.size(); ++i)
        text += (i == 0 ? "\n" : ",\n") + records[i];
    return text + "\n]";
}

std::string UtcTime(std::int64_t seconds)
{
    const std::time_t time = seconds;
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

} // namespace

std::size_t SaveManifest::SavedCount() const
{
    return static_cast<std::size_t>(
        std::count_if(files.begin(), files.end(), [](const FileRecord& record) { return record.saved; }));
}

std::size_t SaveManifest::MissingCount() const
{
    return unresolved.size()
        + static_cast<std::size_t>(
               std::count_if(files.begin(), files.end(), [](const FileRecord& record) { return record.Needed(); }));
}

std::string SaveManifest::Json(std::int64_t writtenAt) const
{
    std::vector<std::string> records;
    records.reserve(files.size());
    for (const FileRecord& record : files)
        records.push_back(RecordJson(record));
    std::string text = JsonObject()
                           .Add("manifest", "plumeroc")
                           .Add("version", 1)
                           .Add("written", UtcTime(writtenAt))
                           .AddFlag("cancelled", cancelled)
                           .AddJson("sources", Strings(sources))
                           .AddJson("starts", Strings(starts))
                           .AddJson("files", RecordLines(records))
                           .AddJson("patterns", NamesJson(patterns, "pattern"))
                           .AddJson("unresolved", NamesJson(unresolved, "name"))
                           .Text();
    return text + "\n";
}

} // namespace capture
