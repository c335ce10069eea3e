// The merge of two large catalogs: a base of FOLDERS × FILES file records,
// each side adding and deleting some records of its own, merged three ways.
// Prints the median wall time of the merge (the files are built as text,
// outside the timing).
//
//   build/bench/catalog/catalog_merge_bench [iterations] [folders] [files per folder]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalog/catalog_merge.h"

using Clock = std::chrono::steady_clock;

namespace {

// A catalog text with `folders` folders of `files` records; records whose
// number is in [deleteFrom, deleteTo) are marked deleted, and `extra` more
// records named with `tag` are added to the first folder.
std::string catalogText(int folders, int files, int deleteFrom, int deleteTo, int extra,
                        const std::string& tag) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    text += "<User Name=\"bench@example.com\" Version=\"7\" FN=\"0\" SUM=\"0\">\r\n";
    for (int f = 0; f < folders; ++f) {
        text += "<Folder Name=\"文件夹 " + std::to_string(f) +
                "\" CT=\"26-12-10 04:00:00\" Size=\"0\" Del=\"false\">\r\n";
        for (int n = 0; n < files; ++n) {
            const int id = f * files + n;
            const bool deleted = id >= deleteFrom && id < deleteTo;
            text += "<File Name=\"file" + std::to_string(n) +
                    ".bin\" CT=\"26-12-10 04:00:00\" Size=\"4096\" Del=\"" +
                    (deleted ? "true" : "false") + "\" Subject=\"PARVOL:;file" + std::to_string(n) +
                    ".bin;" + std::to_string(id) + ";1\"/>\r\n";
        }
        if (f == 0)
            for (int n = 0; n < extra; ++n)
                text += "<File Name=\"" + tag + std::to_string(n) +
                        ".bin\" CT=\"26-12-10 05:00:00\" Size=\"1\" Del=\"false\" Subject=\"" +
                        tag + std::to_string(n) + "\"/>\r\n";
        text += "</Folder>\r\n";
    }
    text += "<Recycle Name=\"回收站\"/>\r\n</User>\r\n";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 5;
    const int folders = argc > 2 ? std::atoi(argv[2]) : 10;
    const int files = argc > 3 ? std::atoi(argv[3]) : 10000;
    const std::string base = catalogText(folders, files, 0, 0, 0, "");
    const std::string local = catalogText(folders, files, 10, 20, 100, "mine");
    const std::string remote = catalogText(folders, files, 15, 30, 100, "theirs");
    std::vector<double> times;
    size_t records = 0;
    for (int i = 0; i < iterations; ++i) {
        const auto start = Clock::now();
        const parvola::CatalogMerge merge = parvola::mergeCatalogs(base, local, remote);
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (merge.outcome != parvola::CatalogMergeOutcome::Merged) {
            std::fprintf(stderr, "not merged\n");
            return 1;
        }
        records = 0;
        for (size_t at = merge.text.find("<File "); at != std::string::npos;
             at = merge.text.find("<File ", at + 1))
            ++records;
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "%d × %d records, %zu bytes each side: merged %zu records, median %.3f s "
        "(min %.3f, max %.3f)\n",
        folders, files, local.size(), records, times[times.size() / 2], times.front(),
        times.back());
    return 0;
}
