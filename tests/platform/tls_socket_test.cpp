// The TLS layer of the socket: readiness means application data (records
// without data, such as the session tickets a TLS 1.3 server sends after the
// handshake, do not wake a reader that then has nothing to read), and a
// handshake is refused on a socket that is not connected or for no host.
#include <gtest/gtest.h>

#include <string>

#include "platform/tcp_socket.h"
#include "tests/mail/tls_test_peer.h"

namespace parvola {
namespace {

TEST(TlsSocket, OnlyApplicationDataMakesTheSocketReadable) {
    test::TestCertificates certs;
    ASSERT_TRUE(certs.makeCa("ca"));
    ASSERT_TRUE(certs.makeServer("server", "ca", "IP:127.0.0.1"));
    test::TlsTestPeer peer(certs.pem("server"), certs.key("server"));
    const int port = peer.start();

    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_TRUE(socket.connect("127.0.0.1", port));
    ASSERT_TRUE(socket.startTls("127.0.0.1", certs.pem("ca"), 5000)) << socket.tlsFailure();
    EXPECT_TRUE(socket.isSecure());
    // The server has sent its tickets but no data: nothing to read.
    EXPECT_EQ(socket.waitReadable(300), 0);
    EXPECT_EQ(socket.waitReadable(0), 0);

    ASSERT_TRUE(socket.sendAll("QUIT\r\n", 6));
    ASSERT_EQ(socket.waitReadable(5000), 1);
    char reply[16] = {};
    EXPECT_EQ(socket.receive(reply, sizeof reply), 5);
    EXPECT_EQ(std::string(reply), "+OK\r\n");
    // The server closes after QUIT: the end of the stream is readable, and reads 0.
    ASSERT_EQ(socket.waitReadable(5000), 1);
    EXPECT_EQ(socket.receive(reply, sizeof reply), 0);
    socket.close();
    peer.finish();
    EXPECT_EQ(peer.secured(), "QUIT\r\n");
}

TEST(TlsSocket, NoHandshakeWithoutAConnectionOrAHost) {
    TcpSocket unconnected;
    EXPECT_FALSE(unconnected.startTls("127.0.0.1", "", 1000));
    EXPECT_EQ(unconnected.lastError(), kErrorNotConnected);

    test::TestCertificates certs;
    ASSERT_TRUE(certs.makeCa("ca"));
    ASSERT_TRUE(certs.makeServer("server", "ca", "IP:127.0.0.1"));
    test::TlsTestPeer peer(certs.pem("server"), certs.key("server"));
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_TRUE(socket.connect("127.0.0.1", peer.start()));
    EXPECT_FALSE(socket.startTls("", certs.pem("ca"), 1000));
    EXPECT_EQ(socket.lastError(), kErrorSecureChannel);
    EXPECT_NE(socket.tlsFailure().find("no host name"), std::string::npos) << socket.tlsFailure();
    socket.close();
    peer.finish();
    EXPECT_FALSE(peer.handshakeSucceeded());
}

}  // namespace
}  // namespace parvola
