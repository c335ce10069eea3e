#include "zip/zip_pack.h"

#include <cstdio>
#include <filesystem>

#include "zip/zip_archive.h"
#include "zip/zip_big_file.h"

namespace parvola {

namespace {

bool pathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

bool packFileToZip(const std::string& sourcePath, const std::string& archivePath,
                   bool archiveMustExist) {
    if (archiveMustExist && !pathExists(archivePath))
        return false;
    std::string temporaryPath;
    try {
        {
            // Reserve a unique name beside the archive; the archive engine
            // then writes that file from the start.
            ZipBigFile reservation;
            reservation.createBeside(archivePath);
            temporaryPath = reservation.path();
            reservation.close();
        }
        bool added = false;
        {
            ZipArchive archive;
            archive.open(temporaryPath, ZipArchive::OpenMode::create);
            added = archive.addFile(sourcePath, ZipArchive::kDefaultLevel, false, {},
                                    ZipArchive::kCopyBufferSize);
            archive.close();
        }
        if (added && std::rename(temporaryPath.c_str(), archivePath.c_str()) == 0)
            return true;
    } catch (...) {
        // Every engine failure is a false result; the temporary file goes.
    }
    if (!temporaryPath.empty())
        std::remove(temporaryPath.c_str());
    return false;
}

bool unpackFileFromZip(const std::string& archivePath, const std::string& destinationDir,
                       const std::string& entryName) {
    if (!pathExists(archivePath))
        return false;
    try {
        ZipArchive archive;
        archive.open(archivePath, ZipArchive::OpenMode::openReadOnly);
        int index = archive.findEntry(entryName, false);
        if (index < 0)
            return false;
        // Written under the name asked for: on a case-sensitive file system
        // the caller finds the file only under that exact name.
        bool extracted = archive.extractEntry(index, destinationDir, false, entryName, {},
                                              ZipArchive::kCopyBufferSize);
        archive.close();
        return extracted;
    } catch (...) {
        return false;
    }
}

}  // namespace parvola
