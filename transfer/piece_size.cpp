#include "transfer/piece_size.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>

#include "transfer/mailbox_factory.h"
#include "transfer/piece_plan.h"

namespace parvola {
namespace {

std::mutex limitsMutex;
// Limits announced, by the account's address and store route.
std::map<std::string, uint64_t>& knownLimits() {
    static std::map<std::string, uint64_t> limits;
    return limits;
}

std::string limitKey(const MailboxAccount& account) {
    const bool append = account.storeRoute == StoreRoute::ImapAppend;
    return account.loginAddress +
           (append ? " append " + account.imapHost + ":" + std::to_string(account.imapPort)
                   : " smtp " + account.smtpHost + ":" + std::to_string(account.smtpPort));
}

uint64_t storeSizeLimit(const MailboxAccount& account) {
    const std::string key = limitKey(account);
    {
        std::lock_guard<std::mutex> guard(limitsMutex);
        if (auto found = knownLimits().find(key); found != knownLimits().end())
            return found->second;
    }
    const auto mailbox = mailboxFor(account);
    const uint64_t limit = mailbox ? mailbox->storeSizeLimit() : 0;
    // "No limit said" and "not reached" read the same: only a limit is kept,
    // so an unreachable server is asked again at the next upload.
    if (limit > 0) {
        std::lock_guard<std::mutex> guard(limitsMutex);
        knownLimits()[key] = limit;
    }
    return limit;
}

}  // namespace

uint64_t pieceMailSize(long long pieceSize) {
    const uint64_t bytes = pieceSize > 0 ? static_cast<uint64_t>(pieceSize) : 0;
    const uint64_t encoded = (bytes + 2) / 3 * 4;
    const uint64_t lines = (encoded + 75) / 76;
    return encoded + 2 * lines + kPieceMailOverhead;
}

long long pieceSizeUnderLimit(uint64_t limit) {
    constexpr long long kStep = 1024;
    if (limit <= pieceMailSize(kStep))
        return kStep;
    // Close from below: 3/4 for base64 and 76/78 for the line breaks, then
    // down to whole KiB until the exact size fits.
    long long size = static_cast<long long>((limit - kPieceMailOverhead) / 4 * 3 / 78 * 76);
    size = std::min(size, kLargestPieceSize) / kStep * kStep;
    while (size > kStep && pieceMailSize(size) > limit)
        size -= kStep;
    return std::max(size, kStep);
}

long long pieceSizeForAccount(const MailboxAccount& account) {
    if (!account.direct)
        return pieceSizeForSmtpHost(account.smtpHost);
    if (account.pieceSize > 0)
        return account.pieceSize;
    if (const uint64_t limit = storeSizeLimit(account); limit > 0)
        return pieceSizeUnderLimit(limit);
    return pieceSizeForSmtpHost(account.smtpHost);
}

void forgetStoreSizeLimits() {
    std::lock_guard<std::mutex> guard(limitsMutex);
    knownLimits().clear();
}

}  // namespace parvola
