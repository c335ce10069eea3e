// Form posts to an https address: the service's certificate is verified
// against the system's trust store plus the CA file that deploy.ini names,
// and must name the host; a certificate that fails either is refused.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/mail/test_certificates.h"
#include "tests/support/temp_dir.h"
#include "web/site_client.h"

namespace parvola::test {
namespace {

// Python's http.server behind its ssl module, answering every POST with
// "reply=ok"; stopped with the object.
class HttpsService {
  public:
    HttpsService(const std::string& cert, const std::string& key) {
        writeFile(dir_ / "serve.py", R"PY(import http.server, ssl, sys
class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers.get('Content-Length', '0')))
        body = b'reply=ok'
        self.send_response(200)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
)PY");
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            ::close(fds[0]);
            const std::string script = (dir_ / "serve.py").string();
            execl("/usr/bin/python3", "python3", script.c_str(), cert.c_str(), key.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(fds[1]);
        FILE* out = fdopen(fds[0], "r");
        if (out != nullptr) {
            if (std::fscanf(out, "%d", &port_) != 1)
                port_ = 0;
            std::fclose(out);
        }
    }
    ~HttpsService() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }

  private:
    TempDir dir_{"parvola-https"};
    pid_t pid_ = -1;
    int port_ = 0;
};

class SitePostTls : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        certs_ = new TestCertificates;
        ASSERT_TRUE(certs_->makeCa("trusted"));
        ASSERT_TRUE(certs_->makeServer("good", "trusted", "DNS:site.test,IP:127.0.0.1"));
        ASSERT_TRUE(certs_->makeServer("othername", "trusted", "DNS:elsewhere.test"));
    }
    static void TearDownTestSuite() {
        delete certs_;
        certs_ = nullptr;
    }
    void trustTestCa() {
        writeFile(home_.path() / "deploy.ini", "[tls]\nca_file=" + certs_->pem("trusted") + "\n");
    }
    static std::string url(int port) {
        return "https://127.0.0.1:" + std::to_string(port) + "/n.php";
    }

    static TestCertificates* certs_;
    AppHome home_;
};

TestCertificates* SitePostTls::certs_ = nullptr;

TEST_F(SitePostTls, VerifiedServiceAnswersWithTheAddedCa) {
    HttpsService service(certs_->pem("good"), certs_->key("good"));
    ASSERT_NE(service.port(), 0);
    trustTestCa();
    std::string reply, status;
    EXPECT_TRUE(SitePost(url(service.port()), "action=xml", reply, status)) << status;
    EXPECT_EQ(reply, "reply=ok");
}

TEST_F(SitePostTls, UntrustedCaOrAnotherHostsCertificateIsRefused) {
    {
        HttpsService service(certs_->pem("good"), certs_->key("good"));
        ASSERT_NE(service.port(), 0);
        std::string reply, status;  // no CA file: nothing vouches for the test CA
        EXPECT_FALSE(SitePost(url(service.port()), "action=xml", reply, status));
        EXPECT_EQ(reply, "");
    }
    {
        HttpsService service(certs_->pem("othername"), certs_->key("othername"));
        ASSERT_NE(service.port(), 0);
        trustTestCa();
        std::string reply, status;
        EXPECT_FALSE(SitePost(url(service.port()), "action=xml", reply, status));
        EXPECT_EQ(reply, "");
    }
}

}  // namespace
}  // namespace parvola::test
