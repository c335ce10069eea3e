#pragma once
// Looks for passwords where they must never be: in any file under the given
// folders and in any text the program showed or printed, in clear or in the
// base64 form AUTH LOGIN and the settings file use. And lists the files and
// folders under a folder that others than the owner could read.
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mail/base64.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {

struct NamedText {
    std::string where;  // shown in a finding
    std::string text;
};

// One line per place that holds a secret: "<where>: <clear|base64> <secret>".
inline std::vector<std::string> findSecrets(const std::vector<std::string>& secrets,
                                            const std::vector<std::filesystem::path>& folders,
                                            const std::vector<NamedText>& texts) {
    std::vector<NamedText> all = texts;
    for (const auto& folder : folders) {
        std::error_code error;
        for (std::filesystem::recursive_directory_iterator it(folder, error), end;
             !error && it != end; it.increment(error)) {
            if (it->is_regular_file(error))
                all.push_back({it->path().string(), readFile(it->path())});
        }
    }
    std::vector<std::string> found;
    for (const NamedText& place : all) {
        for (const std::string& secret : secrets) {
            if (place.text.find(secret) != std::string::npos)
                found.push_back(place.where + ": clear " + secret);
            if (place.text.find(base64Encode(secret)) != std::string::npos)
                found.push_back(place.where + ": base64 " + secret);
        }
    }
    return found;
}

// Every folder under `root` (and `root`) that is not 0700 and every file that
// is not 0600, as "<path> <octal mode>"; names in `skip` are left out.
inline std::vector<std::string> notOwnerOnly(const std::filesystem::path& root,
                                             const std::set<std::string>& skip = {}) {
    std::vector<std::string> wrong;
    auto check = [&](const std::filesystem::path& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || skip.count(path.filename().string()) != 0)
            return;
        const unsigned mode = st.st_mode & 07777;
        const unsigned wanted = S_ISDIR(st.st_mode) ? 0700u : 0600u;
        if (mode != wanted) {
            char text[16];
            std::snprintf(text, sizeof text, " %o", mode);
            wrong.push_back(path.string() + text);
        }
    };
    check(root);
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error))
        check(it->path());
    return wrong;
}

}  // namespace parvola::test
