#include "transfer/piece_plan.h"

#include <filesystem>
#include <system_error>

#include "platform/app_dir.h"
#include "platform/private_files.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;

const ProviderRow* rowWithKeyword(const DeployConfig& deployment, const std::string& keyword) {
    for (const auto& row : deployment.providers)
        if (row.lowerKeyword == keyword)
            return &row;
    return nullptr;
}

bool hostMatches(const std::string& accountHost, const ProviderRow* row) {
    return row != nullptr && !row->smtpHost.empty() &&
           accountHost.find(row->smtpHost) != std::string::npos;
}

std::string nameStem(const std::string& fileName) {
    // A name without "." has no name folder (the empty text).
    const size_t dot = fileName.find('.');
    std::string stem = dot == std::string::npos ? std::string() : fileName.substr(0, dot);
    for (char& c : stem)
        if (c == '/')
            c = '_';
    return stem;
}

}  // namespace

long long pieceSizeForSmtpHost(const std::string& smtpHost, const DeployConfig& deployment) {
    if (hostMatches(smtpHost, rowWithKeyword(deployment, "qq")))
        return kQqPieceSize;
    if (hostMatches(smtpHost, rowWithKeyword(deployment, "sohu")))
        return kSohuPieceSize;
    return kOtherPieceSize;
}

long long pieceSizeForSmtpHost(const std::string& smtpHost) {
    return pieceSizeForSmtpHost(smtpHost, loadDeployConfig());
}

long long pieceCount(long long fileSize, long long pieceSize) {
    if (fileSize <= 0 || pieceSize <= 0)
        return 0;
    return fileSize / pieceSize + (fileSize % pieceSize != 0 ? 1 : 0);
}

long long pieceLength(long long fileSize, long long pieceSize, long long index) {
    const long long count = pieceCount(fileSize, pieceSize);
    if (index < 1 || index > count)
        return 0;
    if (index < count)
        return pieceSize;
    return fileSize - (count - 1) * pieceSize;
}

std::string pieceRootFolder() {
    return appPath("temp");
}

std::string pieceNameFolder(const std::string& fileName) {
    const std::string stem = nameStem(fileName);
    return stem.empty() ? pieceRootFolder() : pieceRootFolder() + "/" + stem;
}

std::string pieceFolder(const std::string& fileName, int fileId) {
    return pieceNameFolder(fileName) + "/" + std::to_string(fileId) + ".pieces";
}

std::string pieceFilePath(const std::string& folder, long long index) {
    return folder + "/" + std::to_string(index);
}

bool createPieceFolder(const std::string& fileName, int fileId) {
    // "temp", the name's folder and the transfer's: the owner's alone.
    return createPrivateFolders(pieceFolder(fileName, fileId));
}

bool removePieceFolder(const std::string& fileName, int fileId, PieceFolderRemoval how) {
    std::error_code error;
    const fs::path folder = pieceFolder(fileName, fileId);
    if (how == PieceFolderRemoval::WithContents)
        fs::remove_all(folder, error);
    else
        fs::remove(folder, error);  // fails, and changes nothing, when not empty
    const fs::path nameFolder = pieceNameFolder(fileName);
    if (nameFolder != fs::path(pieceRootFolder()))
        fs::remove(nameFolder, error);  // only when no other transfer's folder is in it
    return !fs::exists(folder, error);
}

}  // namespace parvola
