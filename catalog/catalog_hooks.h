#pragma once
// Where the catalog reaches beyond itself: the web service notifications, the
// catalog mail that follows every save, and the mailbox clean-up after a purge.
// Each is a replaceable function, so the transfer engine can plug in its
// workers and tests can record what would have been posted or started.
#include <functional>
#include <string>

namespace parvola {

struct CatalogHooks {
    // Posts one form text to the web service; by default through SiteNotify.
    std::function<void(const std::string& form)> notify;
    // Starts the catalog mail worker for a user after the catalog file was
    // saved; it must not wait for the mail. Empty until the transfer engine
    // installs its starter.
    std::function<void(const std::string& user)> startCatalogMail;
    // Starts the removal of a purged file's piece mails (found by their subject).
    std::function<void(const std::string& user, const std::string& subject)> startPieceCleanup;
};

// The process-wide hooks (a copy, safe to call from any thread).
CatalogHooks catalogHooks();
// Replaces them; returns the previous ones.
CatalogHooks setCatalogHooks(CatalogHooks hooks);
// The default hooks: notify through SiteNotify, start nothing.
CatalogHooks defaultCatalogHooks();

}  // namespace parvola
