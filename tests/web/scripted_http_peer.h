#pragma once
// A scripted HTTP peer on 127.0.0.1 and a free port: answers every request
// with a fixed status and fixed reply bytes, and keeps what it was sent.
// For reply shapes the real service does not produce.
#include <httplib.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace parvola::test {

class ScriptedHttpPeer {
  public:
    struct Seen {
        std::string method;
        std::string path;
        std::string body;
        httplib::Headers headers;
    };

    ScriptedHttpPeer(int status, std::string reply) : status_(status), reply_(std::move(reply)) {
        server_.set_payload_max_length(64u << 20);
        auto answer = [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(mutex_);
                seen_ = {req.method, req.path, req.body, req.headers};
                ++count_;
            }
            res.status = status_;
            // Raw bytes: the reply is whatever the test scripted, undecoded.
            res.set_content(reply_, "text/html");
        };
        server_.Post(".*", answer);
        server_.Get(".*", answer);
        // A scripted status of 400 and above must reach the client as it is.
        server_.set_error_handler([this](const httplib::Request&, httplib::Response& res) {
            res.set_content(reply_, "text/html");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        // The socket listens from the bind on, so clients may connect at once.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~ScriptedHttpPeer() {
        // stop() only takes once the server loop runs.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        server_.stop();
        thread_.join();
    }
    ScriptedHttpPeer(const ScriptedHttpPeer&) = delete;
    ScriptedHttpPeer& operator=(const ScriptedHttpPeer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    Seen seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    int requestCount() const {
        std::lock_guard lock(mutex_);
        return count_;
    }

  private:
    int status_;
    std::string reply_;
    httplib::Server server_;
    int port_ = -1;
    std::thread thread_;
    mutable std::mutex mutex_;
    Seen seen_;
    int count_ = 0;
};

}  // namespace parvola::test
