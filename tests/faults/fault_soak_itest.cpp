// A seeded soak of random faults: the relays cut sessions at random points
// while files are stored and read and the catalog changes in two
// application directories (two computers of one user), whose catalog mails
// merge. Nothing is lost, no record is doubled, no ".part" and no piece is
// left behind. The seed is
// printed with every failure; PARVOLA_SOAK_SEED repeats a run and
// PARVOLA_SOAK_ROUNDS makes it longer (the test command keeps it short).
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <set>

#include "app/ini_settings.h"
#include "tests/support/fault_relay.h"
#include "tests/transfer/fake_retry_clock.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/catalog_sync.h"
#include "transfer/download_pipeline.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

unsigned envNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 10))
                                            : fallback;
}

class FaultSoak : public PipelineTest {
  protected:
    FakeRetryClock clock;
};

TEST_F(FaultSoak, RandomCutsAcrossStoresReadsAndCatalogChangesLoseNothing) {
    const unsigned seed = envNumber("PARVOLA_SOAK_SEED", std::random_device{}());
    const unsigned rounds = envNumber("PARVOLA_SOAK_ROUNDS", 16);
    SCOPED_TRACE("PARVOLA_SOAK_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);

    const MailboxAccount direct = login("sina");  // 10 MiB pieces: every file is one piece
    // Cuts come far more often than on a real line: more tries than the
    // default, so that only a loss, never bad luck, fails the soak.
    ASSERT_TRUE(IniSettings().writeRetryTries(12));
    FaultRelay::Plan sending;
    sending.cutSide = FaultRelay::Side::FromClient;
    sending.randomCutChance = 0.003;
    sending.randomCutBytes = 600000;
    // Besides the random cuts, a busy server's answer in every run.
    sending.answers = {{"MAIL FROM", 2, "451 4.3.0 Temporary local problem, try again"}};
    sending.seed = seed;
    FaultRelay::Plan reading;
    reading.cutSide = FaultRelay::Side::FromServer;
    reading.randomCutChance = 0.003;
    reading.randomCutBytes = 600000;
    reading.answers = {{"RETR", 2, "-ERR [SYS/TEMP] Try again"}};
    reading.seed = seed + 1;
    FaultRelay smtp("127.0.0.1", "127.0.0.1", MailStack::smtpPort(), sending);
    FaultRelay pop3("127.0.0.1", "127.0.0.1", MailStack::pop3Port(), reading);
    MailboxAccount account = direct;
    account.smtpPort = smtp.port();
    account.pop3Port = pop3.port();
    clearLoggedInAccounts();
    ASSERT_TRUE(addLoggedInAccount(account));
    // The catalog mails go through the relays too.
    CatalogHooks hooks = catalogHooks();
    hooks.startCatalogMail = engineHooks.startCatalogMail;
    setCatalogHooks(hooks);
    installCatalogMailWorker();

    const std::string user = account.loginAddress;
    // The other computer logs in on the catalog this one mailed. The
    // application directory is the process's: its changes are made, and
    // their catalog mails sent, while no worker of this one runs.
    resetCatalogMailCounters();
    ASSERT_EQ(mailCatalogNow(user), 0);
    TempDir other("parvola-soak-other");
    writeDeployIni(other.path());
    auto inOther = [&](const std::function<void()>& step) {
        ASSERT_TRUE(waitForWorkers(std::chrono::seconds(120)));
        ScopedEnv otherHome("PARVOLA_HOME", other.str());
        step();
        ASSERT_TRUE(waitForWorkers(std::chrono::seconds(120)));
    };
    MailboxAccount loading = direct;
    loading.catalogFlag = 1;
    inOther([&] { ASSERT_EQ(CatalogLoginStep(loading), 0); });
    std::set<std::string> otherFolders;

    std::map<std::string, std::string> stored;  // name -> bytes
    int folders = 0;
    for (unsigned round = 0; round < rounds; ++round) {
        const unsigned action = std::uniform_int_distribution<unsigned>(0, 3)(random);
        if (action == 0 || stored.empty()) {
            const std::string name = "f" + std::to_string(round) + ".bin";
            const size_t size = std::uniform_int_distribution<size_t>(1, 300000)(random);
            const std::string bytes = randomBytes(size, seed + round);
            ASSERT_EQ(runUploadWorker(user, source(name, bytes), kDocuments), UploadOutcome::Stored)
                << name << " " << ::testing::PrintToString(notices.messages());
            stored[name] = bytes;
        } else if (action == 1) {
            auto it = stored.begin();
            std::advance(it, std::uniform_int_distribution<size_t>(0, stored.size() - 1)(random));
            const CatalogRow record = fileRecord(user, kDocuments, it->first);
            TempDir folder("parvola-soak-read");
            ASSERT_EQ(readBack(user, record, folder.str()), DownloadOutcome::Saved)
                << it->first << " " << ::testing::PrintToString(notices.messages());
            EXPECT_TRUE(readFile(folder / it->first) == it->second) << it->first;
            EXPECT_EQ(filesBelow(folder.path()), std::vector<std::string>{it->first});
        } else if (action == 2) {
            ASSERT_EQ(Catalog(user).addFolder("", "夹" + std::to_string(++folders)), 0);
        } else {
            const std::string name = "乙" + std::to_string(round);
            inOther([&] { ASSERT_EQ(Catalog(user).addFolder("", name), 0); });
            otherFolders.insert(name);
        }
    }
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(120)));
    std::cout << "soak seed " << seed << ": " << rounds << " rounds, " << smtp.cuts() + pop3.cuts()
              << " cuts, " << smtp.answered() + pop3.answered() << " refusals, "
              << clock.waits().size() << " retries" << std::endl;
    EXPECT_GT(smtp.cuts() + pop3.cuts() + smtp.answered() + pop3.answered(), 0);
    EXPECT_TRUE(notices.messages().empty()) << ::testing::PrintToString(notices.messages());

    // Every file is in the catalog once, and reads back whole.
    smtp.heal();
    pop3.heal();
    std::vector<CatalogRow> rows;
    Catalog(user).listFolder(kDocuments, rows);
    std::multiset<std::string> names;
    for (const CatalogRow& row : rows)
        if (row.type == kFileType)
            names.insert(row.name);
    for (const auto& [name, bytes] : stored) {
        EXPECT_EQ(names.count(name), 1u) << name;
        const CatalogRow record = fileRecord(user, kDocuments, name);
        TempDir folder("parvola-soak-check");
        ASSERT_EQ(readBack(user, record, folder.str()), DownloadOutcome::Saved) << name;
        EXPECT_TRUE(readFile(folder / name) == bytes) << name;
    }
    EXPECT_EQ(names.size(), stored.size()) << ::testing::PrintToString(names);
    // No piece in "temp", no scratch folder, no ".part" anywhere.
    EXPECT_EQ(filesBelow(home.path() / "temp"), std::vector<std::string>());
    for (const std::string& file : filesBelow(home.path()))
        EXPECT_EQ(file.find(".catalog-"), std::string::npos) << file;
    for (const std::string& file : filesBelow(sources.path()))
        EXPECT_EQ(file.find(".part"), std::string::npos) << file;

    // The last changes of both computers (made with the relays healed):
    // each one's catalog mail merges the other's, so this computer's catalog
    // holds every folder of both, once.
    inOther([&] { ASSERT_EQ(Catalog(user).addFolder("", "乙终"), 0); });
    otherFolders.insert("乙终");
    ASSERT_EQ(Catalog(user).addFolder("", "终"), 0);
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    EXPECT_TRUE(notices.messages().empty()) << ::testing::PrintToString(notices.messages());
    std::cout << "soak seed " << seed << ": " << catalogMailCounters().merged
              << " catalog mails merged the other computer's catalog" << std::endl;
    EXPECT_GE(catalogMailCounters().merged, 1);
    std::vector<CatalogRow> top;
    Catalog(user).listLevel("", top);
    std::multiset<std::string> topNames;
    for (const CatalogRow& row : top)
        topNames.insert(row.name);
    for (const std::string& name : otherFolders)
        EXPECT_EQ(topNames.count(name), 1u) << name;
    for (int n = 1; n <= folders; ++n)
        EXPECT_EQ(topNames.count("夹" + std::to_string(n)), 1u) << n;
    EXPECT_EQ(topNames.size(), 3 + otherFolders.size() + static_cast<size_t>(folders) + 1)
        << ::testing::PrintToString(topNames);
    Catalog(user).listFolder(kDocuments, rows);
    EXPECT_EQ(rows.size(), stored.size() + 1);  // the files and "自定义"
    for (const std::string& file : filesBelow(other.path()))
        EXPECT_EQ(file.find(".catalog-"), std::string::npos) << file;

    // The catalog mail of the last change loads back as the catalog there is.
    const std::string local = readFile(home.path() / (user + "_config"));
    const std::string version = "PARVOLCONFIG" + std::to_string(Catalog(user).version()) + ";";
    ASSERT_TRUE(waitFor([&] {
        for (const std::string& subject : mailboxSubjects(direct))
            if (subject.rfind(version, 0) == 0)
                return true;
        return false;
    }));
    fs::remove(home.path() / (user + "_config"));
    ASSERT_EQ(SyncCatalog(user, direct, SyncMode::Load), kSyncLoaded);
    EXPECT_TRUE(readFile(home.path() / (user + "_config")) == local);
}

}  // namespace
}  // namespace parvola::test
