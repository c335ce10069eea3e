// Times one catalog change (load, addFileRecord, save) on a catalog of 10,000
// file records in 100 folders, and the same load-change-save with pugixml.
//
//   build/bench/catalog/catalog_bench [iterations]
#include <stdlib.h>
#include <pugixml.hpp>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "catalog/xml/xml_doc.h"
#include "platform/file_lock.h"

using namespace parvola;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kUser = "bench@example.com";
constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;

std::string folderName(int f) {
    return "文件夹 " + std::to_string(f);
}

// Builds the catalog in memory with the engine and saves it once.
void buildCatalog(const std::string& path) {
    Catalog(kUser).createNew(kUser);
    XmlDoc doc;
    doc.loadFile(path);
    doc.resetPosition();
    doc.findNext("User");
    doc.enter();
    while (doc.findNext()) {
    }
    long long sum = 0;
    for (int f = 0; f < kFolders; ++f) {
        doc.addElement("Folder");
        doc.setAttribute("Name", folderName(f));
        doc.setAttribute("CT", "09-10-25 14:03:07");
        doc.setAttribute("Size", "0");
        doc.setAttribute("Del", "false");
        for (int i = 0; i < kFilesPerFolder; ++i) {
            long long size = 1000 + i * 37 + f;
            doc.addChildElement("File");
            doc.enter();
            doc.setAttribute("Name",
                             "照片 " + std::to_string(f) + "-" + std::to_string(i) + ".jpg");
            doc.setAttribute("CT", "09-10-25 14:03:07");
            doc.setAttribute("Size", size);
            doc.setAttribute("Del", "false");
            doc.setAttribute("Subject", "PARVOL:照片 " + std::to_string(f) + "-" +
                                            std::to_string(i) + ".jpg;1;1;1256450000");
            doc.leave();
            sum += size;
        }
    }
    doc.resetPosition();
    doc.findNext("User");
    doc.setAttribute("FN", static_cast<long long>(kFolders * kFilesPerFolder));
    doc.setAttribute("SUM", sum);
    doc.saveFile(path);
}

std::string nowText() {
    return catalogTimeText();
}

// The same change with pugixml: find the folder, check the name, append the
// record, raise FN, SUM and Version, save.
bool pugiChange(const std::string& path, const std::string& folder, const std::string& name,
                long long size, bool durableSave) {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str(), pugi::parse_default | pugi::parse_declaration))
        return false;
    pugi::xml_node user = doc.child("User");
    pugi::xml_node target = user.find_child_by_attribute("Folder", "Name", folder.c_str());
    if (!target)
        return false;
    if (target.find_child_by_attribute("File", "Name", name.c_str()))
        return false;
    pugi::xml_node file = target.append_child("File");
    file.append_attribute("Name") = name.c_str();
    file.append_attribute("CT") = nowText().c_str();
    file.append_attribute("Size") = size;
    file.append_attribute("Del") = "false";
    file.append_attribute("Subject") = ("PARVOL:" + name).c_str();
    user.attribute("FN") = user.attribute("FN").as_llong() + 1;
    user.attribute("SUM") = user.attribute("SUM").as_llong() + size;
    user.attribute("Version") = user.attribute("Version").as_llong() + 1;
    if (!durableSave)
        return doc.save_file(path.c_str(), "", pugi::format_default);
    struct Writer : pugi::xml_writer {
        std::string text;
        void write(const void* data, size_t size) override {
            text.append(static_cast<const char*>(data), size);
        }
    } writer;
    writer.text.reserve(static_cast<size_t>(std::filesystem::file_size(path)) + 65536);
    doc.save(writer, "", pugi::format_default);
    return writeFileAtomically(path, writer.text);
}

struct Figures {
    double median = 0, mean = 0;
    double cpu = 0;  // mean CPU time of this thread: the rest is waiting (for the disk)
};

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

Figures timeIt(int iterations, const std::function<void(int)>& body) {
    std::vector<double> ms;
    double cpuStart = threadCpuMs();
    for (int i = 0; i < iterations; ++i) {
        auto start = Clock::now();
        body(i);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    Figures f;
    f.cpu = (threadCpuMs() - cpuStart) / iterations;
    for (double m : ms)
        f.mean += m;
    f.mean /= static_cast<double>(ms.size());
    std::sort(ms.begin(), ms.end());
    f.median = ms[ms.size() / 2];
    return f;
}

void report(const char* what, const Figures& f) {
    std::printf("%-58s median %8.3f ms  mean %8.3f ms  cpu %7.3f ms\n", what, f.median, f.mean,
                f.cpu);
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    char folderTemplate[] = "/tmp/parvola-bench-XXXXXX";
    const char* home = mkdtemp(folderTemplate);
    if (home == nullptr)
        return 1;
    setenv("PARVOLA_HOME", home, 1);
    CatalogHooks quiet;  // no web service, no catalog mail
    setCatalogHooks(quiet);

    const std::string path = std::string(home) + "/" + kUser + "_config";
    buildCatalog(path);
    const std::string pugiPath = path + ".pugi";
    std::filesystem::copy_file(path, pugiPath);
    std::printf("catalog: %d file records in %d folders, %ju bytes; %d iterations\n",
                kFolders * kFilesPerFolder, kFolders,
                static_cast<uintmax_t>(std::filesystem::file_size(path)), iterations);

    Figures ours = timeIt(iterations, [&](int i) {
        Catalog c(kUser);
        c.addFileRecord(folderName(i % kFolders), "new " + std::to_string(i), "S", 4096);
    });
    Figures pugiDurable = timeIt(iterations, [&](int i) {
        pugiChange(pugiPath, folderName(i % kFolders), "new " + std::to_string(i), 4096, true);
    });
    Figures pugiPlain = timeIt(iterations, [&](int i) {
        pugiChange(pugiPath, folderName(i % kFolders), "plain " + std::to_string(i), 4096, false);
    });

    // Where our time goes.
    Figures load = timeIt(iterations, [&](int) {
        XmlDoc doc;
        doc.loadFile(path);
    });
    Figures pugiLoad = timeIt(iterations, [&](int) {
        pugi::xml_document doc;
        doc.load_file(pugiPath.c_str());
    });
    XmlDoc loaded;
    loaded.loadFile(path);
    Figures edit = timeIt(iterations, [&](int i) {
        // The in-memory part of addFileRecord on a loaded document.
        loaded.resetPosition();
        loaded.findNext("User");
        loaded.enter();
        std::string folder = folderName(i % kFolders);
        while (loaded.findNext("Folder") && loaded.attribute("Name") != folder) {
        }
        loaded.enter();
        while (loaded.findNext("File")) {
        }
        loaded.restorePosition(loaded.parentPosition(), 0, 0);
        loaded.addElement("File");
        loaded.setAttribute("Name", "edit " + std::to_string(i));
        loaded.setAttribute("CT", nowText());
        loaded.setAttribute("Size", 4096LL);
        loaded.setAttribute("Del", "false");
        loaded.setAttribute("Subject", "S");
        loaded.resetPosition();
        loaded.findNext("User");
        loaded.setAttribute("FN", 1LL);
        loaded.setAttribute("SUM", 1LL);
        loaded.setAttribute("Version", 1LL);
    });
    const std::string bytes = loaded.text();
    Figures durableWrite =
        timeIt(iterations, [&](int) { writeFileAtomically(path + ".w", bytes); });

    report("Catalog: construct + addFileRecord (load, change, save)", ours);
    report("pugixml: load, change, save through writeFileAtomically", pugiDurable);
    report("pugixml: load, change, save_file (no fsync, no rename)", pugiPlain);
    std::printf("ratio Catalog / pugixml with the same durable save: %.2f\n",
                ours.median / pugiDurable.median);
    std::printf("ratio Catalog / pugixml with its plain save_file:   %.2f\n",
                ours.median / pugiPlain.median);
    std::printf("ratio of CPU time, Catalog / pugixml plain:         %.2f\n",
                ours.cpu / pugiPlain.cpu);
    std::printf("where the time goes:\n");
    report("  XmlDoc::loadFile (read + parse)", load);
    report("  pugixml load_file (read + parse)", pugiLoad);
    report("  in-memory change on a loaded XmlDoc", edit);
    report("  writeFileAtomically of the catalog (write, fsync, rename)", durableWrite);
    std::filesystem::remove_all(home);
    return 0;
}
