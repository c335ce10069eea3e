// The real parvola-site, spoken to over HTTP by a client other than ours.
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>
#include <vector>

#include "platform/text_codec.h"
#include "tests/support/site_process.h"

namespace parvola {
namespace {

using test::SiteProcess;

constexpr const char* kPage = "/qk7rta$19bw4xn8p6.php";
constexpr const char* kFormType = "application/x-www-form-urlencoded";

class SiteService : public ::testing::Test {
  protected:
    SiteProcess site;
    void SetUp() override { ASSERT_TRUE(site.started()); }

    httplib::Result post(const std::string& path, const std::string& body,
                         const char* type = kFormType) {
        httplib::Client client("127.0.0.1", site.port());
        return client.Post(path.c_str(), body, type);
    }
    httplib::Result get(const std::string& path) {
        httplib::Client client("127.0.0.1", site.port());
        return client.Get(path.c_str());
    }
    // The service still answers and stores after whatever came before.
    void expectStillServing() {
        auto res = post(kPage, "action=share&email=after@x.test&share=1.2.3.4");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        auto entries = site.log("share");
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.back().form, "action=share&email=after@x.test&share=1.2.3.4");
    }
};

TEST_F(SiteService, LoginReplyHasTheShapeTheClientParses) {
    ASSERT_TRUE(site.addUser("ann@x.test", "pw1", "ann@sina.test", "mpw", true));
    ASSERT_TRUE(site.addUser("bob@x.test", "pw2", "bob@sohu.test", "npw"));
    auto ann = post(kPage, "action=login&email=ann@x.test&ip=127.0.0.1");
    ASSERT_TRUE(ann);
    EXPECT_EQ(ann->status, 200);
    EXPECT_EQ(ann->body, "pw1<br>\r\nann@sina.test<br>\r\nmpw<br>\r\n<br>\r\n1000\r\n");
    auto bob = post(kPage, "action=login&email=bob@x.test&ip=");
    ASSERT_TRUE(bob);
    EXPECT_EQ(bob->body, "pw2<br>\r\nbob@sohu.test<br>\r\nnpw<br>\r\n<br>\r\n");
    auto nobody = post(kPage, "action=login&email=nobody@x.test&ip=");
    ASSERT_TRUE(nobody);
    EXPECT_EQ(nobody->status, 200);
    EXPECT_EQ(nobody->body, std::string(1, '\0') + "<br>\r\n<br>\r\n<br>\r\n<br>\r\n");
}

TEST_F(SiteService, ChineseFormIsStoredAsUtf8AndAnsweredInGb18030) {
    ASSERT_TRUE(site.addUser("李四@x.test", "口令", "李四@sina.test", "信箱口令"));
    auto res = post(kPage, utf8ToWire("action=login&email=李四@x.test&ip=1.2.3.4"));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, utf8ToWire("口令<br>\r\n李四@sina.test<br>\r\n信箱口令<br>\r\n<br>\r\n"));
    EXPECT_NE(res->get_header_value("Content-Type").find("GB18030"), std::string::npos);
    auto entries = site.log("login");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].form, "action=login&email=李四@x.test&ip=1.2.3.4");
}

TEST_F(SiteService, BadFormsGetAClearAnswerAndAreNotStored) {
    struct Case {
        std::string body;
        int status;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"action=upload&email=a", 400, "unknown action: upload\r\n"},
        {"", 400, "missing field: action\r\n"},
        {"action=delete&email=a@x.test&filename=f.txt", 400, "missing field: time\r\n"},
        {"action=xml&email=a@x.test&xml=1", 400, "missing field: share\r\n"},
        {"action=login&email=a@x.test", 400, "missing field: ip\r\n"},
        {"action=xml&email=\xFF\xFE&xml=1&share=0.0000", 400, "form is not GB18030 text\r\n"},
        // a lead byte with nothing after it
        {"action=share&email=a&share=\x81", 400, "form is not GB18030 text\r\n"},
    };
    for (const Case& c : cases) {
        auto res = post(kPage, c.body);
        ASSERT_TRUE(res) << c.body;
        EXPECT_EQ(res->status, c.status) << c.body;
        EXPECT_EQ(res->body, c.answer) << c.body;
    }
    EXPECT_TRUE(site.log().empty());
    expectStillServing();
}

TEST_F(SiteService, BodyOfSeveralMegabytesIsRefused) {
    const std::string huge =
        "action=xml&email=" + std::string(5u << 20, 'a') + "&xml=1&share=0.0000";
    auto asForm = post(kPage, huge);
    ASSERT_TRUE(asForm);
    EXPECT_EQ(asForm->status, 413);
    EXPECT_NE(asForm->body.find("at most 8192 bytes"), std::string::npos) << asForm->body;
    auto asText = post(kPage, huge, "text/plain");
    ASSERT_TRUE(asText);
    EXPECT_EQ(asText->status, 413);
    EXPECT_NE(asText->body.find("form too large"), std::string::npos) << asText->body;
    EXPECT_TRUE(site.log().empty());
    expectStillServing();
}

TEST_F(SiteService, UnknownPathAndWrongMethodAreAnswered) {
    auto missing = post("/nothing.php", "action=xml");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_NE(missing->body.find("/nothing.php"), std::string::npos);
    auto getPage = get(kPage);
    ASSERT_TRUE(getPage);
    EXPECT_EQ(getPage->status, 405);
    expectStillServing();
}

TEST_F(SiteService, PagesAreUtf8Html) {
    for (const char* path :
         {"/softinfo.html", "/softad.html", "/register.php", "/group_login.php", "/login.php"}) {
        auto res = get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << path;
        EXPECT_TRUE(isValidUtf8(res->body)) << path;
        EXPECT_NE(res->body.find("<html>"), std::string::npos) << path;
    }
    EXPECT_NE(get("/softinfo.html")->body.find("网络存储"), std::string::npos);
}

TEST_F(SiteService, WebLoginIsRecordedAndMalformedOnesAreNot) {
    auto ok = post("/login.php", "email=box@sina.test&password=secret");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    auto bad = post("/login.php", "password=secret");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    auto entries = site.log("weblogin");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].form, "email=box@sina.test&password=secret");
}

TEST_F(SiteService, ConcurrentNotificationsAreAllStored) {
    constexpr int kThreads = 6;
    constexpr int kEach = 15;
    std::vector<std::thread> threads;
    std::vector<int> okCount(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            httplib::Client client("127.0.0.1", site.port());
            for (int i = 0; i < kEach; ++i) {
                std::string body = "action=xml&email=u" + std::to_string(t) +
                                   "@x.test&xml=" + std::to_string(i) + "&share=0.0000";
                auto res = client.Post(kPage, body, kFormType);
                if (res && res->status == 200)
                    ++okCount[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(okCount[t], kEach);
    auto entries = site.log("xml");
    ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kEach));
    // Each sender's notifications keep their order.
    for (int t = 0; t < kThreads; ++t) {
        int next = 0;
        const std::string prefix = "action=xml&email=u" + std::to_string(t) + "@x.test&xml=";
        for (const auto& entry : entries)
            if (entry.form.rfind(prefix, 0) == 0) {
                EXPECT_EQ(entry.form, prefix + std::to_string(next++) + "&share=0.0000");
            }
        EXPECT_EQ(next, kEach);
    }
}

}  // namespace
}  // namespace parvola
