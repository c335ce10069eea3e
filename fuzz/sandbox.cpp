#include "fuzz/sandbox.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>

namespace parvola::fuzz {

namespace fs = std::filesystem;

Sandbox::Sandbox() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec)
        base = "/tmp";
    std::string pattern = (base / "parvola-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("fuzz sandbox");
        std::abort();
    }
    root_ = pattern;
    out_ = root_ + "/out";
    fs::create_directory(out_);
}

Sandbox::~Sandbox() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void Sandbox::check() const {
    for (const auto& entry : fs::directory_iterator(root_)) {
        const std::string name = entry.path().filename().string();
        if (name != "out" && name != "input") {
            std::fprintf(stderr, "written outside the destination: %s\n", name.c_str());
            std::abort();
        }
    }
    for (const auto& entry : fs::recursive_directory_iterator(out_)) {
        if (entry.is_symlink()) {
            std::fprintf(stderr, "link written: %s\n", entry.path().c_str());
            std::abort();
        }
    }
}

void Sandbox::clear() const {
    for (const auto& entry : fs::directory_iterator(out_))
        fs::remove_all(entry.path());
}

}  // namespace parvola::fuzz
