#include "support/FolderServer.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace test {

void ServeFolder(httplib::Server& server, const std::string& folder)
{
    server.Get(R"(/(.*))", [folder](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.matches[1];
        const std::string file = folder + "/" + path;
        std::error_code error;
        std::ifstream in;
        if (path.find("..") == std::string::npos && std::filesystem::is_regular_file(file, error))
            in.open(file, std::ios::binary);
        if (!in.is_open()) {
            res.status = 404;
            res.set_content("not here", "text/plain");
            return;
        }
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        res.set_content(bytes, path.ends_with(".swf") ? "application/x-shockwave-flash" : "application/octet-stream");
    });
}

} // namespace test
