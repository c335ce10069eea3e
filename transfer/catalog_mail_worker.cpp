#include "transfer/catalog_mail_worker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "catalog/catalog_merge.h"
#include "catalog/xml/text_file.h"
#include "platform/app_dir.h"
#include "platform/file_lock.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "transfer/catalog_encryption.h"
#include "transfer/catalog_scratch.h"
#include "transfer/catalog_sync.h"
#include "transfer/piece_retry.h"
#include "transfer/retry_clock.h"
#include "transfer/store_mail.h"

namespace parvola {
namespace {

// The turn of one user's catalog mails and the newest change asked for.
struct UserMailTurn {
    std::mutex turn;
    std::atomic<uint64_t> newestTicket{0};
};

std::shared_ptr<UserMailTurn> turnOf(const std::string& user) {
    static std::mutex registryMutex;
    static std::map<std::string, std::shared_ptr<UserMailTurn>> registry;
    std::lock_guard<std::mutex> guard(registryMutex);
    auto& slot = registry[user];
    if (!slot)
        slot = std::make_shared<UserMailTurn>();
    return slot;
}

std::mutex countersMutex;
CatalogMailCounters counters;
int runningMails = 0;

template <class Change>
void count(Change&& change) {
    std::lock_guard<std::mutex> guard(countersMutex);
    change(counters);
}

// Counts a mail in the making for the lifetime of the object.
class RunningMail {
  public:
    RunningMail() {
        std::lock_guard<std::mutex> guard(countersMutex);
        ++runningMails;
        counters.peakRunning = std::max(counters.peakRunning, runningMails);
    }
    ~RunningMail() {
        std::lock_guard<std::mutex> guard(countersMutex);
        --runningMails;
    }
    RunningMail(const RunningMail&) = delete;
    RunningMail& operator=(const RunningMail&) = delete;
};

// The words the user reads after a merge that had to decide something, or
// that could not be made.
void tellOfCatchUp(const CatalogCatchUp& catchUp) {
    if (catchUp.outcome == CatalogCatchUp::Outcome::Merged && !catchUp.conflicts.empty()) {
        std::string text = kCatalogMergedText;
        for (const std::string& line : catchUp.conflicts)
            text += "\n" + line;
        showNotice(text);
    } else if (catchUp.outcome == CatalogCatchUp::Outcome::KeptApart) {
        showNotice(kCatalogNotMergedText + catchUp.keptPath);
    }
}

// Waits the pause before try `tryNumber` on the transfers' clock.
void pauseBeforeTry(int tryNumber) {
    RetryClock& clock = retryClock();
    const int seconds = retryPauseSeconds(tryNumber, clock.jitter());
    clock.waitUntil(clock.now() + std::chrono::seconds(seconds), [] { return false; });
}

// Zips the catalog and mails it once. `mailed` receives the catalog that
// went out (or may have: see `kind`), with the version and time of its subject.
int sendCatalogMail(const std::string& user, const MailboxAccount& account, CatalogBase& mailed,
                    MailboxFailure& kind) {
    CatalogScratch scratch;
    if (!scratch.ok())
        return -1;
    std::string zip;
    {
        // Version and file are read in one go, under the catalog's own lock,
        // so the subject labels exactly the catalog that travels, and that
        // catalog becomes the base once it is in.
        FileLock lock(appPath(catalogFileName(user)) + ".lock");
        mailed.version = Catalog(user).version();
        std::string diagnostic;
        if (!readFileBytes(appPath(catalogFileName(user)), mailed.text, diagnostic))
            return -1;
        zip = ZipCatalog(user, scratch.path());
    }
    if (zip.empty() || !sealCatalogForMail(account.loginAddress, zip))
        return -1;
    mailed.time = static_cast<long long>(std::time(nullptr));
    StoreMail mail;
    mail.subject = CatalogSubject(mailed.version, mailed.time, account.loginAddress);
    mail.bodyText = mail.subject;
    mail.attachmentPath = zip;
    mail.taskId = 0;
    return SendStoreMail(account, mail, nullptr, nullptr, &kind);
    // The scratch folder, zip included, goes away here.
}

}  // namespace

int mailCatalogNow(const std::string& user) {
    MailboxAccount account;
    if (findLoggedInAccount(user, account) != 0)
        return -1;
    const int tries = std::max(1, IniSettings().readRetryTries());
    // A mail whose store broke without an answer: the server may have kept
    // it. The next try looks for it before mailing the catalog again, so the
    // mailbox never holds one catalog twice.
    std::optional<CatalogBase> pending;
    int result = -1;
    for (int tryNumber = 1;; ++tryNumber) {
        MailboxFailure kind = MailboxFailure::None;
        // Another computer's catalog mailed since this one's base is merged
        // in first, so this mail carries both sides' changes.
        const CatalogCatchUp catchUp =
            catchUpWithMailbox(user, account, pending ? &*pending : nullptr);
        if (catchUp.pendingArrived)
            pending.reset();
        if (catchUp.outcome == CatalogCatchUp::Outcome::Failed) {
            kind = catchUp.failureKind;
            result = -1;
        } else {
            if (catchUp.outcome == CatalogCatchUp::Outcome::Merged)
                count([](CatalogMailCounters& c) { ++c.merged; });
            tellOfCatchUp(catchUp);
            if (catchUp.pendingArrived && catchUp.outcome == CatalogCatchUp::Outcome::UpToDate)
                return 0;  // the last try's mail got through after all
            CatalogBase mailed;
            result = sendCatalogMail(user, account, mailed, kind);
            if (result == 0) {
                FileLock lock(appPath(catalogFileName(user)) + ".lock");
                noteCatalogBase(user, mailed);
                return 0;
            }
            if (kind == MailboxFailure::Transient)
                pending = std::move(mailed);
        }
        // Only what may pass is tried again, with the pauses of a piece.
        if (kind != MailboxFailure::Transient || tryNumber >= tries)
            return result;
        pauseBeforeTry(tryNumber);
    }
}

void startCatalogMailWorker(const std::string& user) {
    std::shared_ptr<UserMailTurn> turn = turnOf(user);
    const uint64_t ticket = ++turn->newestTicket;
    count([](CatalogMailCounters& c) { ++c.started; });
    startWorker([turn, user, ticket] {
        std::lock_guard<std::mutex> myTurn(turn->turn);
        if (ticket < turn->newestTicket.load()) {
            // A newer change is queued behind this one; its worker zips the
            // catalog later and so mails this change too.
            count([](CatalogMailCounters& c) { ++c.skipped; });
            return;
        }
        int result;
        {
            RunningMail running;
            result = mailCatalogNow(user);
        }
        count([result](CatalogMailCounters& c) { ++(result == 0 ? c.mailed : c.failed); });
    });
}

void installCatalogMailWorker() {
    CatalogHooks hooks = catalogHooks();
    hooks.startCatalogMail = startCatalogMailWorker;
    setCatalogHooks(std::move(hooks));
}

CatalogMailCounters catalogMailCounters() {
    std::lock_guard<std::mutex> guard(countersMutex);
    return counters;
}

void resetCatalogMailCounters() {
    std::lock_guard<std::mutex> guard(countersMutex);
    counters = CatalogMailCounters();
}

}  // namespace parvola
