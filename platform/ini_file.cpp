#include "platform/ini_file.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/file_lock.h"

namespace parvola {
namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "[name]" -> name; anything else -> nullopt.
std::optional<std::string> sectionOf(const std::string& line) {
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return trim(t.substr(1, close - 1));
}

// "key=value" -> key; a line without "=" or a comment -> nullopt.
std::optional<std::string> keyOf(const std::string& line) {
    std::string t = trim(line);
    if (t.empty() || t[0] == ';')
        return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return trim(t.substr(0, eq));
}

std::string valueOf(const std::string& line) {
    std::string v = trim(line.substr(line.find('=') + 1));
    // The profile reader drops one pair of quotes around a value.
    if (v.size() >= 2 &&
        ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
        v = v.substr(1, v.size() - 2);
    return v;
}

std::string lockPathFor(const std::string& path) {
    return path + ".lock";
}

}  // namespace

std::string readProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& path,
                              std::optional<size_t> bufferSize) {
    std::string result = defaultValue;
    {
        // No lock file for a read: every write replaces the file whole by a
        // rename, so a reader sees the old file or the new one, and a
        // process that only reads its settings leaves nothing behind.
        bool inSection = false;
        for (const auto& line : readLines(path)) {
            if (auto s = sectionOf(line)) {
                inSection = sameName(*s, section);
                continue;
            }
            if (!inSection)
                continue;
            if (auto k = keyOf(line); k && sameName(*k, key)) {
                result = valueOf(line);
                break;
            }
        }
    }
    if (bufferSize)
        result = result.substr(0, *bufferSize == 0 ? 0 : *bufferSize - 1);
    return result;
}

int readProfileInt(const std::string& section, const std::string& key, int defaultValue,
                   const std::string& path) {
    std::string text = readProfileString(section, key, "", path);
    if (text.empty())
        return defaultValue;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str())
        return defaultValue;
    return static_cast<int>(value);
}

bool writeProfileString(const std::string& section, const std::string& key,
                        const std::optional<std::string>& value, const std::string& path) {
    // A line break inside a value would split it into lines of its own.
    if (value && value->find_first_of("\r\n") != std::string::npos)
        return false;
    if (section.empty() || key.empty())
        return false;
    FileLock lock(lockPathFor(path));
    std::vector<std::string> lines = readLines(path);

    long sectionLine = -1;    // the header of the section
    long lastInSection = -1;  // last non-blank line of the section
    long keyLine = -1;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto s = sectionOf(lines[i])) {
            inSection = sectionLine < 0 && sameName(*s, section);
            if (inSection) {
                sectionLine = static_cast<long>(i);
                lastInSection = static_cast<long>(i);
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!trim(lines[i]).empty())
            lastInSection = static_cast<long>(i);
        if (auto k = keyOf(lines[i]); k && keyLine < 0 && sameName(*k, key))
            keyLine = static_cast<long>(i);
    }

    std::string newLine = value ? key + "=" + *value : std::string();
    if (keyLine >= 0) {
        if (value)
            lines[keyLine] = newLine;
        else
            lines.erase(lines.begin() + keyLine);
    } else if (value) {
        if (sectionLine >= 0) {
            lines.insert(lines.begin() + lastInSection + 1, newLine);
        } else {
            lines.push_back("[" + section + "]");
            lines.push_back(newLine);
        }
    } else {
        return true;  // deleting a key that is not there changes nothing
    }

    std::ostringstream out;
    for (const auto& line : lines)
        out << line << "\n";
    // The settings hold the remembered passwords: a file left readable by
    // others (an older install, a copy) is narrowed on its next write.
    return writeFileAtomically(path, out.str(), 0600, ExistingMode::Narrow);
}

}  // namespace parvola
