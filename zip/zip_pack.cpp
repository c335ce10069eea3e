#include "zip/zip_pack.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "zip/zip_archive.h"
#include "zip/zip_big_file.h"
#include "zip/zip_exception.h"

namespace parvola {

namespace {

bool pathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Writes the archive at `temporaryPath` (a file reserved beside the target).
// Engine failures throw.
ZipResult packInto(const std::string& sourcePath, const std::string& temporaryPath) {
    ZipArchive archive;
    archive.open(temporaryPath, ZipArchive::OpenMode::create);
    const ZipResult added = archive.addFile(sourcePath, ZipArchive::kDefaultLevel, false, {},
                                            ZipArchive::kCopyBufferSize);
    archive.close();
    return added;
}

}  // namespace

ZipResult packFileToZip(const std::string& sourcePath, const std::string& archivePath,
                        bool archiveMustExist) {
    if (archiveMustExist && !pathExists(archivePath))
        return ZipResult::CannotOpen;
    std::string temporaryPath;
    ZipResult result = ZipResult::FileError;
    try {
        {
            // Reserve a unique name beside the archive; the archive engine
            // then writes that file from the start.
            ZipBigFile reservation;
            reservation.createBeside(archivePath);
            temporaryPath = reservation.path();
            reservation.close();
        }
        result = packInto(sourcePath, temporaryPath);
        if (result == ZipResult::Ok && std::rename(temporaryPath.c_str(), archivePath.c_str()) == 0)
            return ZipResult::Ok;
        if (result == ZipResult::Ok)
            result = fileFailure(errno);
    } catch (const ZipException& e) {
        // Every engine failure here is the archive's writing failing.
        result = e.result(ZipResult::FileError);
    } catch (...) {
        result = ZipResult::FileError;
    }
    if (!temporaryPath.empty())
        std::remove(temporaryPath.c_str());
    return result;
}

ZipResult unpackFileFromZip(const std::string& archivePath, const std::string& destinationDir,
                            const std::string& entryName) {
    if (!pathExists(archivePath))
        return ZipResult::CannotOpen;
    ZipArchive archive;
    try {
        archive.open(archivePath, ZipArchive::OpenMode::openReadOnly);
    } catch (const ZipException& e) {
        return e.result(ZipResult::CannotOpen);
    } catch (...) {
        return ZipResult::CannotOpen;
    }
    try {
        const int index = archive.findEntry(entryName, false);
        if (index < 0)
            return ZipResult::NotFound;
        // Written under the name asked for: on a case-sensitive file system
        // the caller finds the file only under that exact name.
        const ZipResult extracted = archive.extractEntry(index, destinationDir, false, entryName,
                                                         {}, ZipArchive::kCopyBufferSize);
        archive.close();
        return extracted;
    } catch (const ZipException& e) {
        return e.result(ZipResult::FileError);
    } catch (...) {
        return ZipResult::FileError;
    }
}

}  // namespace parvola
