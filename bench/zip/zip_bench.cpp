// Pack and unpack of a catalog-like XML file, timed against raw zlib deflate
// and inflate of the same file and against Info-ZIP `zip -6` and `unzip`.
//
//   zip_bench [runs] [megabytes]     all measurements in one run, medians
//   zip_bench gen FILE [megabytes]   write the sample catalog
//   zip_bench pack FILE ARCHIVE      one pack, for timing whole processes
//   zip_bench unpack ARCHIVE DIR NAME
//   zip_bench deflate FILE OUT       raw zlib deflate (level 6, 64 KB reads)
//   zip_bench inflate IN OUT         raw zlib inflate
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "zip/zip_pack.h"

namespace {

using Clock = std::chrono::steady_clock;

void generateCatalog(const std::string& path, size_t megabytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Catalog Version=\"4711\">\n"
           "<User Name=\"someone@sina.com\" Quota=\"2147483648\">\n";
    size_t written = 0;
    unsigned seed = 12345;
    for (int i = 0; written < megabytes * 1000000; ++i) {
        seed = seed * 1103515245u + 12345u;
        if (i % 40 == 0) {
            std::string folder = "  <Folder Name=\"project " + std::to_string(i / 40) + "\">\n";
            out << folder;
            written += folder.size();
        }
        char line[512];
        int n = std::snprintf(
            line, sizeof line,
            "    <File Name=\"report-%05u-%x.pdf\" Size=\"%u\" Pieces=\"%u\" "
            "Time=\"%02u-%02u-%02u %02u:%02u:%02u\" Deleted=\"%u\" Md5=\"%08x%08x\"/>\n",
            seed % 100000, seed >> 20, seed % 50000000, seed % 37 + 1, 9 + seed % 7, 1 + seed % 12,
            1 + seed % 28, seed % 24, seed % 60, (seed >> 8) % 60, (seed >> 3) & 1, seed,
            seed * 2654435761u);
        out.write(line, n);
        written += static_cast<size_t>(n);
        if (i % 40 == 39) {
            out << "  </Folder>\n";
            written += 12;
        }
    }
    out << "</User>\n</Catalog>\n";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Raw deflate as the archive engine configures zlib, reading the file in
// 64 KB pieces and writing the stream out: the speed floor for packing.
bool rawDeflateFile(const std::string& from, const std::string& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!in || !out)
        return false;
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> input(65535), output(65536);
    int flush = Z_NO_FLUSH;
    do {
        size_t got = std::fread(input.data(), 1, input.size(), in);
        flush = got < input.size() ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = input.data();
        zs.avail_in = static_cast<uInt>(got);
        do {
            zs.next_out = output.data();
            zs.avail_out = static_cast<uInt>(output.size());
            deflate(&zs, flush);
            std::fwrite(output.data(), 1, output.size() - zs.avail_out, out);
        } while (zs.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&zs);
    std::fclose(in);
    return std::fclose(out) == 0;
}

bool rawInflateFile(const std::string& from, const std::string& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!in || !out)
        return false;
    z_stream zs{};
    inflateInit2(&zs, -15);
    std::vector<unsigned char> input(65535), output(65536);
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        size_t got = std::fread(input.data(), 1, input.size(), in);
        if (got == 0)
            break;
        zs.next_in = input.data();
        zs.avail_in = static_cast<uInt>(got);
        do {
            zs.next_out = output.data();
            zs.avail_out = static_cast<uInt>(output.size());
            result = inflate(&zs, Z_NO_FLUSH);
            std::fwrite(output.data(), 1, output.size() - zs.avail_out, out);
        } while (zs.avail_out == 0 && result == Z_OK);
    }
    inflateEnd(&zs);
    std::fclose(in);
    return std::fclose(out) == 0 && result == Z_STREAM_END;
}

double medianSeconds(int runs, const std::function<bool()>& work) {
    std::vector<double> times;
    work();  // warm-up
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        if (!work()) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int runAll(int runs, size_t megabytes) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("zip-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "ours");
    fs::create_directories(dir / "infozip");
    const std::string name = "someone@sina.com_config";
    const std::string source = (dir / name).string();
    generateCatalog(source, megabytes);
    const std::string ours = (dir / "ours.zip").string();
    const std::string theirs = (dir / "infozip.zip").string();
    const std::string raw = (dir / "raw.deflate").string();
    const std::string inflated = (dir / "raw.out").string();
    const std::string quotedDir = "'" + dir.string() + "'";

    double pack = medianSeconds(
        runs, [&] { return parvola::packFileToZip(source, ours) == parvola::ZipResult::Ok; });
    double deflateRaw = medianSeconds(runs, [&] { return rawDeflateFile(source, raw); });
    double zip6 = medianSeconds(runs, [&] {
        fs::remove(theirs);
        return std::system(
                   ("cd " + quotedDir + " && zip -q -6 -X infozip.zip '" + name + "'").c_str()) ==
               0;
    });
    double unpack = medianSeconds(runs, [&] {
        return parvola::unpackFileFromZip(ours, (dir / "ours").string(), name) ==
               parvola::ZipResult::Ok;
    });
    double inflateRaw = medianSeconds(runs, [&] { return rawInflateFile(raw, inflated); });
    double unzip = medianSeconds(runs, [&] {
        return std::system(("unzip -q -o " + quotedDir + "/ours.zip -d " + quotedDir + "/infozip")
                               .c_str()) == 0;
    });
    bool same = readAll(source) == readAll((dir / "ours" / name).string()) &&
                readAll(source) == readAll((dir / "infozip" / name).string());

    std::printf("zip_bench %d %zu: %zu-byte catalog, median of %d runs\n", runs, megabytes,
                static_cast<size_t>(fs::file_size(source)), runs);
    std::printf("  pack    %7.1f ms  (%zu bytes)\n", pack * 1e3,
                static_cast<size_t>(fs::file_size(ours)));
    std::printf("  zlib    %7.1f ms  raw deflate  -> pack/zlib  %.2f\n", deflateRaw * 1e3,
                pack / deflateRaw);
    std::printf("  zip -6  %7.1f ms  (%zu bytes)  -> pack/zip   %.2f\n", zip6 * 1e3,
                static_cast<size_t>(fs::file_size(theirs)), pack / zip6);
    std::printf("  unpack  %7.1f ms\n", unpack * 1e3);
    std::printf("  zlib    %7.1f ms  raw inflate  -> unpack/zlib %.2f\n", inflateRaw * 1e3,
                unpack / inflateRaw);
    std::printf("  unzip   %7.1f ms               -> unpack/unzip %.2f\n", unzip * 1e3,
                unpack / unzip);
    std::printf("  round trip byte-exact: %s\n", same ? "yes" : "NO");
    fs::remove_all(dir);
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "gen" && argc >= 3) {
        generateCatalog(argv[2], argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10);
        return 0;
    }
    if (mode == "pack" && argc == 4)
        return parvola::packFileToZip(argv[2], argv[3]) == parvola::ZipResult::Ok ? 0 : 1;
    if (mode == "unpack" && argc == 5)
        return parvola::unpackFileFromZip(argv[2], argv[3], argv[4]) == parvola::ZipResult::Ok ? 0
                                                                                               : 1;
    if (mode == "deflate" && argc == 4)
        return rawDeflateFile(argv[2], argv[3]) ? 0 : 1;
    if (mode == "inflate" && argc == 4)
        return rawInflateFile(argv[2], argv[3]) ? 0 : 1;
    int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10;
    if (runs <= 0 || megabytes == 0) {
        std::fprintf(stderr,
                     "usage: zip_bench [runs] [megabytes] | gen | pack | unpack | "
                     "deflate | inflate ...\n");
        return 2;
    }
    return runAll(runs, megabytes);
}
