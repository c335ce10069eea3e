#pragma once
// The catalog mail worker: after every save of a user's catalog it zips the
// catalog file and mails it from the mailbox to itself under a catalog
// subject, so the store opens from any computer.
//
// Workers of one user take turns: one mails at a time, each from a zip in a
// folder of its own. A burst of changes starts one worker per change; a
// worker that sees a newer change queued behind it leaves the mail to that
// one, so the newest catalog is always mailed and older ones may be skipped.
#include <string>

namespace parvola {

// One catalog mail for `user`, made and sent now on the calling thread.
// First a catalog another computer mailed meanwhile is merged in
// (catchUpWithMailbox), and the user is told of what the merge decided.
// A failure that may pass (a broken connection, an SMTP 4xx) is tried again
// after the pauses of a piece (transfer/piece_retry), on the transfers'
// clock; before a try, a mail of the try before that broke without an
// answer is looked for, so it is never mailed twice. 0 on success; -1 when
// the user is not logged in or the zip could not be made; otherwise the last
// try's result.
int mailCatalogNow(const std::string& user);

// The catalog's after-save hook: queues a catalog mail for `user` on a worker
// thread of its own and returns at once.
void startCatalogMailWorker(const std::string& user);

// What the workers of this process did (tests and diagnostics).
struct CatalogMailCounters {
    int started = 0;      // workers started
    int mailed = 0;       // mails sent successfully
    int failed = 0;       // mails tried that did not go out
    int skipped = 0;      // workers that left the mail to a newer change
    int merged = 0;       // mails that first merged another computer's catalog
    int peakRunning = 0;  // most mails in the making at one moment
};
CatalogMailCounters catalogMailCounters();
void resetCatalogMailCounters();

}  // namespace parvola
