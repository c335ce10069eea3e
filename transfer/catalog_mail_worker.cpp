#include "transfer/catalog_mail_worker.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "platform/app_dir.h"
#include "platform/file_lock.h"
#include "platform/worker_threads.h"
#include "transfer/catalog_encryption.h"
#include "transfer/catalog_scratch.h"
#include "transfer/catalog_sync.h"
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

}  // namespace

int mailCatalogNow(const std::string& user) {
    MailboxAccount account;
    if (findLoggedInAccount(user, account) != 0)
        return -1;
    CatalogScratch scratch;
    if (!scratch.ok())
        return -1;
    int version = 0;
    std::string zip;
    {
        // Version and file are read in one go, under the catalog's own lock,
        // so the subject labels exactly the catalog that travels.
        FileLock lock(appPath(catalogFileName(user)) + ".lock");
        version = Catalog(user).version();
        zip = ZipCatalog(user, scratch.path());
    }
    if (zip.empty() || !sealCatalogForMail(account.loginAddress, zip))
        return -1;
    StoreMail mail;
    mail.subject =
        CatalogSubject(version, static_cast<long long>(std::time(nullptr)), account.loginAddress);
    mail.bodyText = mail.subject;
    mail.attachmentPath = zip;
    mail.taskId = 0;
    return SendStoreMail(account, mail);
    // The scratch folder, zip included, goes away here.
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
