// The zip reader on any archive bytes: the unpack helper the catalog uses,
// then every entry (at most 32) extracted by the archive class, by its own
// name with and without its folders. Nothing may appear outside the
// destination folder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/sandbox.h"
#include "zip/zip_archive.h"
#include "zip/zip_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static parvola::fuzz::Sandbox sandbox;
    const std::string archivePath = sandbox.inputPath();
    std::FILE* file = std::fopen(archivePath.c_str(), "wb");
    if (file == nullptr)
        __builtin_trap();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    parvola::unpackFileFromZip(archivePath, sandbox.out(), "bob_config");
    try {
        parvola::ZipArchive archive;
        archive.open(archivePath, parvola::ZipArchive::OpenMode::openReadOnly);
        for (int i = 0; i < archive.entryCount() && i < 32; ++i) {
            parvola::ZipEntryHeader header;
            if (!archive.readEntryHeader(header, i))
                __builtin_trap();  // every index below the count names an entry
            if (archive.findEntry(header.fileName) < 0)
                __builtin_trap();  // and is found again by its name
            archive.extractEntry(i, sandbox.out(), (i & 1) != 0);
        }
        archive.close();
    } catch (...) {
        // The engine reports damage by throwing; the helpers turn it into a ZipResult.
    }
    sandbox.check();
    sandbox.clear();
    return 0;
}
