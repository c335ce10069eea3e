// The catalog at scale: 100,000 file records in 10 folders of 10,000. Times
// what a user meets on such a catalog: the load at login, the listing (`ls`)
// of one 10,000-file folder, and one change saved (load, add a record,
// durable save) and packed for its mail; beside each, pugixml doing the same
// load, listing and change.
//
//   build/bench/catalog/catalog_scale_bench [iterations] [folders] [files per folder]
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
#include "zip/zip_pack.h"

using namespace parvola;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kUser = "bench@example.com";

std::string folderName(int f) {
    return "文件夹 " + std::to_string(f);
}

void buildCatalog(const std::string& path, int folders, int files) {
    Catalog(kUser).createNew(kUser);
    XmlDoc doc;
    doc.loadFile(path);
    doc.resetPosition();
    doc.findNext("User");
    doc.enter();
    while (doc.findNext()) {
    }
    long long sum = 0;
    for (int f = 0; f < folders; ++f) {
        doc.addElement("Folder");
        doc.setAttribute("Name", folderName(f));
        doc.setAttribute("CT", "09-10-25 14:03:07");
        doc.setAttribute("Size", "0");
        doc.setAttribute("Del", "false");
        for (int i = 0; i < files; ++i) {
            const long long size = 1000 + i * 37 + f;
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
    doc.setAttribute("FN", static_cast<long long>(folders) * files);
    doc.setAttribute("SUM", sum);
    doc.saveFile(path);
}

// The rows a listing shows, from pugixml: the live files of the folder with
// their name, time, size and subject.
size_t pugiList(const pugi::xml_document& doc, const std::string& folder,
                std::vector<CatalogRow>& rows) {
    rows.clear();
    pugi::xml_node target =
        doc.child("User").find_child_by_attribute("Folder", "Name", folder.c_str());
    for (pugi::xml_node file : target.children("File")) {
        if (std::string_view(file.attribute("Del").value()) == "true")
            continue;
        CatalogRow row;
        row.type = kFileType;
        row.name = file.attribute("Name").value();
        row.time = file.attribute("CT").value();
        row.size = file.attribute("Size").as_llong();
        row.subject = file.attribute("Subject").value();
        rows.push_back(std::move(row));
    }
    return rows.size();
}

bool pugiChange(const std::string& path, const std::string& folder, const std::string& name,
                long long size) {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str(), pugi::parse_default | pugi::parse_declaration))
        return false;
    pugi::xml_node user = doc.child("User");
    pugi::xml_node target = user.find_child_by_attribute("Folder", "Name", folder.c_str());
    if (!target || target.find_child_by_attribute("File", "Name", name.c_str()))
        return false;
    pugi::xml_node file = target.append_child("File");
    file.append_attribute("Name") = name.c_str();
    file.append_attribute("CT") = catalogTimeText().c_str();
    file.append_attribute("Size") = size;
    file.append_attribute("Del") = "false";
    file.append_attribute("Subject") = ("PARVOL:" + name).c_str();
    user.attribute("FN") = user.attribute("FN").as_llong() + 1;
    user.attribute("SUM") = user.attribute("SUM").as_llong() + size;
    user.attribute("Version") = user.attribute("Version").as_llong() + 1;
    // The same durable save as ours (write, fsync, rename).
    struct Writer : pugi::xml_writer {
        std::string text;
        void write(const void* data, size_t n) override {
            text.append(static_cast<const char*>(data), n);
        }
    } writer;
    doc.save(writer, "", pugi::format_default);
    return writeFileAtomically(path, writer.text);
}

struct Figures {
    double median = 0, min = 0, max = 0;
    double cpu = 0;  // mean CPU time of this thread
};

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

Figures timeIt(int iterations, const std::function<void(int)>& body) {
    std::vector<double> ms;
    const double cpuStart = threadCpuMs();
    for (int i = 0; i < iterations; ++i) {
        const auto start = Clock::now();
        body(i);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    Figures f;
    f.cpu = (threadCpuMs() - cpuStart) / iterations;
    std::sort(ms.begin(), ms.end());
    f.median = ms[ms.size() / 2];
    f.min = ms.front();
    f.max = ms.back();
    return f;
}

void report(const char* what, const Figures& ours, const Figures& theirs) {
    std::printf(
        "%-44s ours %9.3f ms (%.3f-%.3f) cpu %8.3f | pugixml %9.3f ms (%.3f-%.3f) cpu "
        "%8.3f | ratio %.2f\n",
        what, ours.median, ours.min, ours.max, ours.cpu, theirs.median, theirs.min, theirs.max,
        theirs.cpu, ours.median / theirs.median);
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int folders = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const int files = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10000;
    char folderTemplate[] = "/tmp/parvola-bench-XXXXXX";
    const char* home = mkdtemp(folderTemplate);
    if (home == nullptr)
        return 1;
    setenv("PARVOLA_HOME", home, 1);
    CatalogHooks quiet;  // no web service, no catalog mail: the pack is timed apart
    setCatalogHooks(quiet);

    const std::string path = std::string(home) + "/" + kUser + "_config";
    buildCatalog(path, folders, files);
    const std::string pugiPath = path + ".pugi";
    std::filesystem::copy_file(path, pugiPath);
    std::printf("catalog: %d file records in %d folders, %ju bytes; %d iterations\n",
                folders * files, folders, static_cast<uintmax_t>(std::filesystem::file_size(path)),
                iterations);

    const Figures load = timeIt(iterations, [&](int) { Catalog c(kUser); });
    const Figures pugiLoad = timeIt(iterations, [&](int) {
        pugi::xml_document doc;
        doc.load_file(pugiPath.c_str(), pugi::parse_default | pugi::parse_declaration);
    });
    report("login load (read + parse)", load, pugiLoad);

    const std::string listed = folderName(folders / 2);
    size_t ourRows = 0, theirRows = 0;
    Catalog catalog(kUser);
    std::vector<CatalogRow> rows;
    const Figures list = timeIt(iterations, [&](int) {
        catalog.listFolder(listed, rows);
        ourRows = rows.size();
    });
    pugi::xml_document pugiDoc;
    pugiDoc.load_file(pugiPath.c_str(), pugi::parse_default | pugi::parse_declaration);
    const Figures pugiListing =
        timeIt(iterations, [&](int) { theirRows = pugiList(pugiDoc, listed, rows); });
    report("ls of one folder (loaded catalog)", list, pugiListing);
    std::printf("  rows: ours %zu, pugixml %zu\n", ourRows, theirRows);

    const Figures change = timeIt(iterations, [&](int i) {
        Catalog c(kUser);
        c.addFileRecord(folderName(i % folders), "new " + std::to_string(i), "S", 4096);
    });
    const Figures pugiChanged = timeIt(iterations, [&](int i) {
        pugiChange(pugiPath, folderName(i % folders), "new " + std::to_string(i), 4096);
    });
    report("one change: load, add, durable save", change, pugiChanged);

    // What goes into the catalog mail after the change: the catalog zipped.
    const std::string archive = std::string(home) + "/catalog.zip";
    const Figures pack = timeIt(iterations, [&](int) { packFileToZip(path, archive); });
    std::printf("%-44s      %9.3f ms (%.3f-%.3f) cpu %8.3f; %ju bytes\n",
                "pack of the changed catalog for its mail", pack.median, pack.min, pack.max,
                pack.cpu, static_cast<uintmax_t>(std::filesystem::file_size(archive)));
    std::filesystem::remove_all(home);
    return 0;
}
