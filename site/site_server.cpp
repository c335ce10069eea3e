#include "site/site_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <cstdio>
#include <thread>

#include "site/site_handlers.h"
#include "site/site_pages.h"

namespace parvola::site {
namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kNotificationPath = "/qk7rta$19bw4xn8p6.php";
constexpr const char* kUtf8Html = "text/html; charset=utf-8";
constexpr const char* kPlainText = "text/plain; charset=utf-8";
// Bodies up to this size are read so that an oversized form still gets a
// clear answer; beyond it the server refuses before reading.
constexpr size_t kMaxBodyBytes = 32u << 20;

// Routes are regular expressions: match the path literally.
std::string literalPattern(const std::string& path) {
    std::string pattern;
    for (char c : path) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos)
            pattern.push_back('\\');
        pattern.push_back(c);
    }
    return pattern;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Payload Too Large";
        case 500:
            return "Internal Server Error";
        default:
            return "Error";
    }
}

void send(httplib::Response& res, const SiteReply& reply) {
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
}

}  // namespace

SiteServer::SiteServer(SiteStore& store)
    : store_(store), server_(std::make_unique<httplib::Server>()) {
    route();
}

SiteServer::~SiteServer() = default;

void SiteServer::route() {
    httplib::Server& s = *server_;
    s.set_payload_max_length(kMaxBodyBytes);
    // Address reuse only: a port that another server still listens on must
    // fail to bind, not be shared with it (the library's default would
    // share it and split the requests between the two).
    s.set_socket_options([](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });

    const std::string notification = literalPattern(kNotificationPath);
    s.Post(notification, [this](const httplib::Request& req, httplib::Response& res) {
        send(res, answerNotification(store_, req.body));
    });
    s.Get(notification, [](const httplib::Request&, httplib::Response& res) {
        res.status = 405;
        res.set_content("post a form to this page\r\n", kPlainText);
    });
    s.Post(literalPattern("/login.php"),
           [this](const httplib::Request& req, httplib::Response& res) {
               send(res, answerWebLogin(store_, req.body));
           });

    struct Page {
        const char* path;
        std::string (*make)();
    };
    for (const Page& page :
         {Page{"/softinfo.html", informationPage}, Page{"/softad.html", advertPage},
          Page{"/register.php", registerPage}, Page{"/group_login.php", groupLoginPage},
          Page{"/login.php", siteLoginPage}}) {
        auto make = page.make;
        s.Get(literalPattern(page.path), [make](const httplib::Request&, httplib::Response& res) {
            res.set_content(make(), kUtf8Html);
        });
    }

    // Whatever else goes wrong (unknown path, oversized body) gets a line of
    // text saying so.
    s.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty())
            return;
        std::string text = std::to_string(res.status) + " " + reasonPhrase(res.status);
        if (res.status == 404)
            text += ": " + req.path;
        if (res.status == 413)
            text += ": a form has at most " + std::to_string(kMaxFormBytes) + " bytes";
        res.set_content(text + "\r\n", kPlainText);
    });
    s.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content("internal error\r\n", kPlainText);
        });
}

int SiteServer::bind(int port) {
    if (port == 0)
        return server_->bind_to_any_port(kHost);
    return server_->bind_to_port(kHost, port) ? port : -1;
}

bool SiteServer::run() {
    bool served = server_->listen_after_bind();
    finished_ = true;
    return served;
}

void SiteServer::stop() {
    // The server only takes a stop once its loop runs: a stop that comes
    // between bind() and run() waits for it rather than being lost.
    while (!server_->is_running() && !finished_)
        std::this_thread::yield();
    server_->stop();
}

}  // namespace parvola::site
