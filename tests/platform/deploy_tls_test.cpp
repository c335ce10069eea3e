// The TLS settings of deploy.ini: a mode per provider row and connection
// (none unless asked for), a CA file for all; and the files that hold
// secrets made readable by their owner only.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/app_dir.h"
#include "platform/deploy_config.h"
#include "platform/file_lock.h"
#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

TEST(DeployTls, PlaintextUnlessARowAsksAndTheCaFileIsShared) {
    test::AppHome home;
    test::writeFile(home.path() / "deploy.ini",
                    "[tls]\nca_file=/etc/parvola/ca.pem\n"
                    "[sina]\nsmtp_tls=implicit\npop3_tls=implicit\n"
                    "[sohu]\nsmtp_tls=STARTTLS\npop3_tls=stls\n"
                    "[tom]\nsmtp_tls=none\npop3_tls=\n"
                    "[qq]\nsmtp_tls=yes\npop3_tls=tls\n");
    const DeployConfig config = loadDeployConfig();
    EXPECT_EQ(config.caFile, "/etc/parvola/ca.pem");
    EXPECT_EQ(config.providers[0].smtpTls, TlsMode::Implicit);
    EXPECT_EQ(config.providers[0].pop3Tls, TlsMode::Implicit);
    EXPECT_EQ(config.providers[1].smtpTls, TlsMode::StartTls);
    EXPECT_EQ(config.providers[1].pop3Tls, TlsMode::StartTls);
    EXPECT_EQ(config.providers[2].smtpTls, TlsMode::None);
    EXPECT_EQ(config.providers[2].pop3Tls, TlsMode::None);
    EXPECT_EQ(config.providers[3].smtpTls, TlsMode::None);  // row not mentioned
    // A value that cannot be read asked for security: never plaintext then.
    EXPECT_EQ(config.providers[5].smtpTls, TlsMode::Implicit);
    EXPECT_EQ(config.providers[5].pop3Tls, TlsMode::Implicit);
}

TEST(DeployTls, WithoutDeployIniEveryRowIsPlaintextAndNoCaFile) {
    test::AppHome home;
    const DeployConfig config = loadDeployConfig();
    EXPECT_EQ(config.caFile, "");
    for (const ProviderRow& row : config.providers) {
        EXPECT_EQ(row.smtpTls, TlsMode::None);
        EXPECT_EQ(row.pop3Tls, TlsMode::None);
    }
}

unsigned modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 01000;
}

// Sets a permissive umask for the test, so the modes seen are the program's.
struct OpenUmask {
    OpenUmask() : old(::umask(0)) {}
    ~OpenUmask() { ::umask(old); }
    mode_t old;
};

TEST(SecretFiles, SettingsAndAtomicallyWrittenFilesAreTheOwnersAlone) {
    OpenUmask open;
    test::TempDir dir;
    const std::string config = (dir / "config.ini").string();
    ASSERT_TRUE(writeProfileString("Generic", "Password", std::string("c2VjcmV0"), config));
    EXPECT_EQ(modeOf(config), 0600u);
    EXPECT_EQ(modeOf(config + ".lock"), 0600u);
    const std::string catalog = (dir / "bob_config").string();
    ASSERT_TRUE(writeFileAtomically(catalog, "<catalog/>"));
    EXPECT_EQ(modeOf(catalog), 0600u);
}

TEST(SecretFiles, ApplicationDirectoryMadeForUsIsTheOwnersAlone) {
    OpenUmask open;
    test::TempDir dir;
    const std::filesystem::path home = dir / "home";
    test::ScopedEnv env("PARVOLA_HOME", home.string());
    EXPECT_EQ(applicationDirectory(), home.string());
    EXPECT_EQ(modeOf(home), 0700u);
}

}  // namespace
}  // namespace parvola
