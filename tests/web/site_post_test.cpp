#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include "platform/text_codec.h"

#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"
#include "tests/web/scripted_http_peer.h"
#include "web/site_client.h"

namespace parvola {
namespace {

using test::ScriptedHttpPeer;

// A loopback port on which nothing listens: bound once by the system's
// choice, then released.
int closedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

TEST(SitePost, SuccessJoinsReplyLinesAndSaysSo) {
    ScriptedHttpPeer peer(200, "first line\r\nsecond\nthird\r\n");
    std::string reply = "stale", status;
    EXPECT_TRUE(SitePost(peer.url("/x.php"), "a=1", reply, status));
    EXPECT_EQ(reply, "first linesecondthird");
    EXPECT_EQ(status, "提交成功完成！");
}

TEST(SitePost, BodyIsSentRawInGb18030WithFormHeaders) {
    ScriptedHttpPeer peer(200, "ok");
    const std::string form =
        "action=delete&email=用户@sina.test&filename=R&D=计划 100%+1.doc&time=24-03-05 07:08:09";
    std::string reply, status;
    ASSERT_TRUE(SitePost(peer.url("/qk7rta$19bw4xn8p6.php"), form, reply, status)) << status;
    ScriptedHttpPeer::Seen seen = peer.seen();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/qk7rta$19bw4xn8p6.php");
    EXPECT_EQ(seen.body, utf8ToWire(form));
    // 计 is BC C6 in code page 936; nothing was %-encoded.
    EXPECT_NE(seen.body.find("filename=R&D=\xBC\xC6\xBB\xAE 100%+1.doc&time="), std::string::npos);
    auto header = [&](const char* name) {
        auto it = seen.headers.find(name);
        return it == seen.headers.end() ? std::string("<none>") : it->second;
    };
    EXPECT_EQ(header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(header("Accept"), "*/*");
    EXPECT_EQ(header("Content-Length"), std::to_string(utf8ToWire(form).size()));
}

TEST(SitePost, ReplyIsReadFromGb18030) {
    // "登录成功" in GB18030, then a line end.
    ScriptedHttpPeer peer(200, "\xB5\xC7\xC2\xBC\xB3\xC9\xB9\xA6\r\n");
    std::string reply, status;
    ASSERT_TRUE(SitePost(peer.url("/"), "", reply, status));
    EXPECT_EQ(reply, "登录成功");
}

TEST(SitePost, StatusOutside2xxIsWebServerError) {
    for (int code : {404, 500, 302, 300}) {
        ScriptedHttpPeer peer(code, "not here");
        const std::string url = peer.url("/missing.php");
        std::string reply, status;
        EXPECT_FALSE(SitePost(url, "a=1", reply, status)) << code;
        EXPECT_EQ(status, "网站服务器错误" + url) << code;
        EXPECT_EQ(reply, "") << code;
        EXPECT_EQ(peer.requestCount(), 1) << code;
    }
}

TEST(SitePost, Status201And299AreSuccess) {
    for (int code : {201, 299}) {
        ScriptedHttpPeer peer(code, "fine");
        std::string reply, status;
        EXPECT_TRUE(SitePost(peer.url("/"), "a=1", reply, status)) << code;
        EXPECT_EQ(reply, "fine");
    }
}

TEST(SitePost, UnknownPathOfTheRealSiteIsWebServerError) {
    test::SiteProcess site;
    ASSERT_TRUE(site.started());
    const std::string url = site.baseUrl() + "/no-such-page.php";
    std::string reply, status;
    EXPECT_FALSE(SitePost(url, "action=xml", reply, status));
    EXPECT_EQ(status, "网站服务器错误" + url);
}

TEST(SitePost, NoListenerIsConnectionFailure) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(closedPort()) + "/qk7rta$19bw4xn8p6.php";
    std::string reply, status;
    EXPECT_FALSE(SitePost(url, "action=share&email=a&share=1.2.3.4", reply, status));
    EXPECT_EQ(status, "对不起，连接服务器失败！");
}

TEST(SitePost, UnknownHostIsConnectionFailure) {
    std::string reply, status;
    EXPECT_FALSE(SitePost("http://no-such-host.invalid/x.php", "a=1", reply, status));
    EXPECT_EQ(status, "对不起，连接服务器失败！");
}

TEST(SitePost, UnparsableUrlIsNotAValidAddress) {
    for (std::string url : {"", "not a url", "ftp://127.0.0.1/x.php", "http://", "127.0.0.1/x.php",
                            "http://127.0.0.1:99999/x.php", "http://[::1/x"}) {
        std::string reply, status;
        EXPECT_FALSE(SitePost(url, "a=1", reply, status)) << url;
        EXPECT_EQ(status, url + "不是有效有网络地址！") << url;
    }
}

// A peer that streams far more than any reply of the service is cut off,
// not read into memory to the end.
TEST(SitePost, OversizedReplyIsAFailedPost) {
    ScriptedHttpPeer peer(200, std::string(6u << 20, 'x'));
    std::string reply, status;
    EXPECT_FALSE(SitePost(peer.url("/"), "a=1", reply, status));
    EXPECT_EQ(status.rfind("向服务器post失败！错误号：", 0), 0u) << status;
    EXPECT_EQ(reply, "");
}

// A peer that takes the connection and the request and then hangs up
// without a word: the exchange itself failed.
TEST(SitePost, PeerHangingUpWithoutReplyIsAFailedPost) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::string received;
    std::thread peer([&] {
        int conn = accept(listener, nullptr, nullptr);
        if (conn < 0)
            return;
        // Read the request up to its body, then close.
        char buffer[4096];
        while (received.find("a=1") == std::string::npos) {
            pollfd p{conn, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0)
                break;
            ssize_t n = read(conn, buffer, sizeof buffer);
            if (n <= 0)
                break;
            received.append(buffer, static_cast<size_t>(n));
        }
        close(conn);
    });
    std::string reply, status;
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x.php";
    EXPECT_FALSE(SitePost(url, "a=1", reply, status));
    peer.join();
    close(listener);
    EXPECT_EQ(status.rfind("向服务器post失败！错误号：", 0), 0u) << status;
    EXPECT_NE(received.find("POST /x.php HTTP/1.1"), std::string::npos) << received;
}

// A proxy set for the session is not used for this machine's own addresses.
TEST(SitePost, LoopbackBypassesAConfiguredProxy) {
    test::ScopedEnv proxy("http_proxy", "http://127.0.0.1:" + std::to_string(closedPort()));
    test::ScopedEnv proxyUpper("HTTP_PROXY", "http://127.0.0.1:" + std::to_string(closedPort()));
    ScriptedHttpPeer peer(200, "direct");
    std::string reply, status;
    EXPECT_TRUE(SitePost(peer.url("/"), "a=1", reply, status)) << status;
    EXPECT_EQ(reply, "direct");
}

}  // namespace
}  // namespace parvola
