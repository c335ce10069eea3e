#include "tests/support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace parvola::test {

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    hadOld_ = old != nullptr;
    if (hadOld_)
        old_ = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (hadOld_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::string bytes(size, '\0');
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t v = gen();
        for (int k = 0; k < 8; ++k)
            bytes[i + k] = static_cast<char>(v >> (8 * k));
    }
    uint64_t v = gen();
    for (; i < size; ++i, v >>= 8)
        bytes[i] = static_cast<char>(v);
    return bytes;
}

std::vector<std::string> filesBelow(const std::filesystem::path& root) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_directory())
            out.push_back(std::filesystem::relative(it->path(), root));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::set<std::pair<std::string, std::string>> contentsBelow(const std::filesystem::path& root) {
    std::set<std::pair<std::string, std::string>> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        found.emplace(entry.path().string(), entry.is_regular_file() ? readFile(entry.path()) : "");
    return found;
}

}  // namespace parvola::test
