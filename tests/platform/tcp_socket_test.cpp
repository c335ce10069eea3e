#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/support/scripted_peer.h"

namespace parvola {
namespace {

using test::ScriptedPeer;

TEST(TcpSocket, TalksToAPeerByteForByte) {
    ScriptedPeer peer;
    const std::string binary("\x00\xff\r\n\x80 ok\r\n", 9);
    peer.reply(binary).expectLine("HELLO \xb2\xe2\r\n").reply("bye\r\n");
    int port = peer.start();

    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_TRUE(socket.connect("127.0.0.1", port));
    std::string got;
    char buffer[64];
    while (got.size() < binary.size()) {
        ASSERT_EQ(socket.waitReadable(5000), 1);
        ssize_t n = socket.receive(buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, binary);
    ASSERT_TRUE(socket.sendAll("HELLO \xb2\xe2\r\n", 10));
    got.clear();
    while (got != "bye\r\n") {
        ASSERT_EQ(socket.waitReadable(5000), 1);
        ssize_t n = socket.receive(buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(socket.close(), 0);
    EXPECT_FALSE(socket.isOpen());
    EXPECT_EQ(peer.finish(), "");
}

// A server address written as an IPv6 literal ("[::1]" in a URL) reaches
// an IPv6 listener.
TEST(TcpSocket, ConnectsToAWrittenOutIpv6Address) {
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(listener);
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_TRUE(socket.connect("::1", ntohs(address.sin6_port))) << socket.lastError();
    ASSERT_TRUE(socket.sendAll("v6", 2));
    const int accepted = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    char got[2] = {};
    EXPECT_EQ(::recv(accepted, got, 2, MSG_WAITALL), 2);
    EXPECT_EQ(std::string(got, 2), "v6");
    ::close(accepted);
    ::close(listener);
}

TEST(TcpSocket, WaitReadableTimesOutAndThenSeesTheClose) {
    ScriptedPeer peer;
    peer.silentUntilClientActs().closeConnection();
    int port = peer.start();
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_TRUE(socket.connect("127.0.0.1", port));
    EXPECT_EQ(socket.waitReadable(50), 0);
    ASSERT_TRUE(socket.sendAll("x", 1));  // wakes the peer, which then closes
    ASSERT_EQ(socket.waitReadable(5000), 1);
    char c;
    EXPECT_EQ(socket.receive(&c, 1), 0);
    socket.close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(TcpSocket, FailuresCarryTheirCodes) {
    TcpSocket socket;
    EXPECT_EQ(socket.close(), -1);
    EXPECT_EQ(socket.waitReadable(0), -1);
    EXPECT_EQ(socket.lastError(), kErrorNotConnected);
    EXPECT_FALSE(socket.connect("127.0.0.1", 1));
    EXPECT_EQ(socket.lastError(), kErrorNotConnected);

    ASSERT_TRUE(socket.create());
    EXPECT_FALSE(socket.connect("no-such-host.invalid", 110));
    EXPECT_EQ(socket.lastError(), kErrorInvalidArgument);

    // A port nobody listens on: take one from a peer that is then gone.
    int deadPort;
    {
        ScriptedPeer peer;
        deadPort = peer.port();
    }
    ASSERT_TRUE(socket.create());
    EXPECT_FALSE(socket.connect("127.0.0.1", deadPort));
    EXPECT_EQ(socket.lastError(), kErrorConnectionRefused);
}

TEST(TcpSocket, MovesOwnership) {
    TcpSocket a;
    ASSERT_TRUE(a.create());
    int fd = a.fd();
    TcpSocket b(std::move(a));
    EXPECT_FALSE(a.isOpen());
    EXPECT_EQ(b.fd(), fd);
    TcpSocket c;
    c = std::move(b);
    EXPECT_EQ(c.fd(), fd);
    EXPECT_EQ(c.close(), 0);
}

}  // namespace
}  // namespace parvola

// The scripted peer is what the protocol tests rest on: it must notice a
// client that says the wrong thing or stops early.
namespace parvola {
namespace {

TEST(ScriptedPeerSelfCheck, ReportsAWrongLineAndAMissingQuit) {
    test::ScriptedPeer wrong;
    wrong.reply("+OK\r\n").expectLine("USER a\r\n").reply("+OK\r\n");
    int port = wrong.start();
    {
        TcpSocket socket;
        ASSERT_TRUE(socket.create());
        ASSERT_TRUE(socket.connect("127.0.0.1", port));
        ASSERT_TRUE(socket.sendAll("USER b\r\n", 8));
        char buffer[16];
        while (socket.waitReadable(5000) == 1 && socket.receive(buffer, sizeof buffer) > 0) {
        }
    }
    EXPECT_NE(wrong.finish().find("expected \"USER a\\r\\n\", got \"USER b\\r\\n\""),
              std::string::npos);

    test::ScriptedPeer early;
    early.expectLine("QUIT\r\n").reply("+OK\r\n");
    port = early.start();
    {
        TcpSocket socket;
        ASSERT_TRUE(socket.create());
        ASSERT_TRUE(socket.connect("127.0.0.1", port));
    }
    EXPECT_NE(early.finish().find("closed the connection"), std::string::npos);
}

TEST(ScriptedPeerSelfCheck, CapturesRawDataAndSplitsReplies) {
    test::ScriptedPeer peer;
    peer.captureUntil("\r\n.\r\n")
        .expectBytes(std::string("\x00\x01", 2))
        .replySegments({"a", "b"}, std::chrono::milliseconds(20));
    int port = peer.start();
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_TRUE(socket.connect("127.0.0.1", port));
    const std::string data("line\r\n..dot\r\n.\r\n\x00\x01", 18);
    ASSERT_TRUE(socket.sendAll(data.data(), data.size()));
    std::string got;
    char buffer[8];
    while (got.size() < 2 && socket.waitReadable(5000) == 1) {
        ssize_t n = socket.receive(buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, "ab");
    socket.close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(peer.captured(0), "line\r\n..dot\r\n.\r\n");
    EXPECT_EQ(peer.transcript(), data);
}

}  // namespace
}  // namespace parvola
