#include "platform/mime_types.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace parvola {
namespace {

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

using Table = std::map<std::string, std::string>;  // extension -> type

const Table& tableFor(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, Table> tables;
    std::lock_guard<std::mutex> guard(mutex);
    auto it = tables.find(path);
    if (it != tables.end())
        return it->second;
    Table& table = tables[path];
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string type, ext;
        fields >> type;
        while (fields >> ext)
            table.emplace(lower(ext), type);
    }
    return table;
}

}  // namespace

std::string contentTypeForName(const std::string& fileName, const std::string& table) {
    static const std::string kDefault = "application/octet-stream";
    size_t dot = fileName.find('.');
    if (dot == std::string::npos || dot + 1 >= fileName.size())
        return kDefault;
    // The key is everything from the first "." on, so "a.tar.gz" asks for "tar.gz".
    const Table& types = tableFor(table);
    auto it = types.find(lower(fileName.substr(dot + 1)));
    return it == types.end() ? kDefault : it->second;
}

}  // namespace parvola
