// Application directory, deployment values, content types, injectable routines,
// the notice box and the worker count.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <future>

#include "platform/app_dir.h"
#include "platform/deploy_config.h"
#include "platform/file_lock.h"
#include "platform/host_info.h"
#include "platform/mime_types.h"
#include "platform/notice_box.h"
#include "platform/system_hooks.h"
#include "platform/worker_threads.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

TEST(AppDir, FollowsParvolaHomeAndCreatesIt) {
    test::TempDir dir;
    const std::string home = dir.str() + "/nested/home";
    test::ScopedEnv env("PARVOLA_HOME", home);
    EXPECT_EQ(applicationDirectory(), home);
    EXPECT_TRUE(std::filesystem::is_directory(home));
    EXPECT_EQ(appPath("config.ini"), home + "/config.ini");
}

TEST(DeployConfig, BuiltInRowsFollowTheProviderPattern) {
    test::AppHome home;
    DeployConfig config = loadDeployConfig();
    const char* keywords[7] = {"sina", "sohu", "tom", "21cn", "sogou", "qq", "foxmail"};
    const char* popLabel[7] = {"pop3.", "pop3.", "pop.", "pop.", "pop3.", "pop.", "pop."};
    for (int i = 0; i < 7; ++i) {
        const ProviderRow& row = config.providers[i];
        EXPECT_EQ(row.lowerKeyword, keywords[i]);
        EXPECT_EQ(row.smtpHost.rfind("smtp.", 0), 0u) << row.smtpHost;
        EXPECT_EQ(row.pop3Host.rfind(popLabel[i], 0), 0u) << row.pop3Host;
        EXPECT_NE(row.smtpHost.find(keywords[i]), std::string::npos);
        EXPECT_EQ(row.pop3Port, 110);
    }
    EXPECT_EQ(config.providers[3].upperKeyword, "21CN");
}

TEST(DeployConfig, DeployIniOverridesHostsPortsAndSite) {
    test::AppHome home;
    test::writeFile(home.path() / "deploy.ini",
                    "[site]\nbase=http://127.0.0.1:9000/\n[ports]\nsmtp=2525\npop3=1110\n"
                    "[qq]\nsmtp=127.0.0.6\npop3=127.0.0.6\npop3_port=1999\n");
    DeployConfig config = loadDeployConfig();
    EXPECT_EQ(config.siteBase, "http://127.0.0.1:9000");
    EXPECT_EQ(config.groupBase, "http://127.0.0.1:9000");
    EXPECT_EQ(config.providers[5].smtpHost, "127.0.0.6");
    EXPECT_EQ(config.providers[5].pop3Port, 1999);
    EXPECT_EQ(config.providers[5].smtpPort, 2525);
    EXPECT_EQ(config.providers[0].pop3Port, 1110);
    EXPECT_EQ(config.pop3PortFor("127.0.0.6"), 1999);
    EXPECT_EQ(config.smtpPortFor("unknown.host"), 2525);
}

TEST(MimeTypes, LooksUpTheNameFromItsFirstDot) {
    test::TempDir dir;
    const std::string table = (dir / "mime.types").string();
    test::writeFile(table,
                    "# comment\ntext/plain txt text\napplication/pdf "
                    "pdf\napplication/x-gtar-compressed tar.gz tgz\n");
    EXPECT_EQ(contentTypeForName("notes.TXT", table), "text/plain");
    EXPECT_EQ(contentTypeForName("a.pdf", table), "application/pdf");
    EXPECT_EQ(contentTypeForName("backup.tar.gz", table), "application/x-gtar-compressed");
    EXPECT_EQ(contentTypeForName("report.v2.pdf", table), "application/octet-stream");
    EXPECT_EQ(contentTypeForName("README", table), "application/octet-stream");
    EXPECT_EQ(contentTypeForName("trailing.", table), "application/octet-stream");
    // The system table from Debian's media-types, as the program uses it.
    EXPECT_EQ(contentTypeForName("photo.png"), "image/png");
}

TEST(SystemHooks, InjectedRoutinesReplaceTheRealOnes) {
    std::string opened;
    setShellOpenRoutine([&](const std::string& t) {
        opened = t;
        return false;
    });
    EXPECT_FALSE(shellOpen("/tmp/file.txt"));
    EXPECT_EQ(opened, "/tmp/file.txt");
    setShellOpenRoutine(nullptr);

    int shutdowns = 0;
    setShutdownRoutine([&] { return ++shutdowns == 1; });
    EXPECT_TRUE(shutdownSystem());
    EXPECT_EQ(shutdowns, 1);
    setShutdownRoutine([] { return false; });  // never the real one in a test
}

TEST(HostInfo, NameAddressAndServicePort) {
    EXPECT_FALSE(computerName().empty());
    std::string ip = localIPv4Address();
    if (!ip.empty()) {
        int parts = 0;
        for (char c : ip)
            parts += c == '.';
        EXPECT_EQ(parts, 3) << ip;
    }
    EXPECT_EQ(servicePort("smtp", 1), 25);
    EXPECT_EQ(servicePort("no-such-service", 77), 77);
}

TEST(NoticeBox, RecordingBoxAnswersAsToldAndRestoresThePrevious) {
    {
        ScopedRecordingNoticeBox box(NoticeAnswer::Cancel);
        EXPECT_EQ(showNotice("第一条"), NoticeAnswer::Cancel);
        box.box().setAnswer(NoticeAnswer::Ok);
        EXPECT_EQ(showNotice("second"), NoticeAnswer::Ok);
        EXPECT_EQ(box.messages(), (std::vector<std::string>{"第一条", "second"}));
    }
    auto previous = installNoticeBox(nullptr);
    EXPECT_NE(dynamic_cast<ConsoleNoticeBox*>(previous.get()), nullptr);
}

TEST(WorkerThreads, CountsRunningWorkersUntilTheyEnd) {
    std::promise<void> release;
    auto gate = release.get_future().share();
    std::atomic<int> done{0};
    for (int i = 0; i < 3; ++i)
        startWorker([gate, &done] {
            gate.wait();
            ++done;
        });
    EXPECT_GE(runningWorkers(), 3);
    EXPECT_FALSE(waitForWorkers(std::chrono::milliseconds(0)));
    release.set_value();
    EXPECT_TRUE(waitForWorkers(std::chrono::seconds(10)));
    EXPECT_EQ(done, 3);
}

TEST(FileLock, AtomicWriteReplacesWholeOrNothing) {
    test::TempDir dir;
    const std::string path = (dir / "catalog").string();
    ASSERT_TRUE(writeFileAtomically(path, "old"));
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(writeFileAtomically(path, "new contents"));
    EXPECT_EQ(test::readFile(path), "new contents");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // an existing file keeps its mode
    // A folder that does not exist: nothing written, false.
    EXPECT_FALSE(writeFileAtomically(dir.str() + "/missing/x", "data"));
    // No temporary files left behind.
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.is_regular_file();
    EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace parvola
