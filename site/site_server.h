#pragma once
// The stand-in web service over HTTP, on a loopback address only.
#include <atomic>
#include <memory>
#include <string>

#include "site/site_store.h"

namespace httplib {
class Server;
}

namespace parvola::site {

class SiteServer {
  public:
    explicit SiteServer(SiteStore& store);
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    // Binds 127.0.0.1:port; port 0 lets the system choose a free one. The
    // bound port, or -1.
    int bind(int port);
    // Serves until stop() is called (from any thread). False when it could not serve.
    bool run();
    void stop();

  private:
    void route();

    SiteStore& store_;
    std::unique_ptr<httplib::Server> server_;
    std::atomic<bool> finished_{false};
};

}  // namespace parvola::site
