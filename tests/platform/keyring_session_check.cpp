// The keyring against a real Secret Service (gnome-keyring in a private D-Bus
// session, started by keyring_session.sh): a password goes in, comes back,
// is replaced and removed, and is in no file the keyring or anyone wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/keyring.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

bool anyFileHolds(const std::filesystem::path& root, const std::string& text) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && test::readFile(entry.path()).find(text) != std::string::npos)
            return true;
    return false;
}

TEST(KeyringSession, PasswordsGoInComeBackAndLeaveNoFileHoldingThem) {
    const char* files = std::getenv("PARVOLA_KEYRING_FILES");
    ASSERT_NE(files, nullptr) << "run through tests/platform/keyring_session.sh";
    ASSERT_TRUE(keyringAnswers());
    std::string failure;
    std::string secret;
    EXPECT_EQ(keyringLookup("me@example.org", secret, failure), KeyringResult::NotFound);
    ASSERT_EQ(keyringStore("me@example.org", "Kx7-first-Pw", failure), KeyringResult::Ok)
        << failure;
    ASSERT_EQ(keyringStore("other@example.org", "Qz9-other-Pw", failure), KeyringResult::Ok);
    ASSERT_EQ(keyringStore("me@example.org", "Kx7-second-Pw", failure), KeyringResult::Ok);
    EXPECT_EQ(keyringLookup("me@example.org", secret, failure), KeyringResult::Ok);
    EXPECT_EQ(secret, "Kx7-second-Pw");
    EXPECT_EQ(keyringLookup("other@example.org", secret, failure), KeyringResult::Ok);
    EXPECT_EQ(secret, "Qz9-other-Pw");
    EXPECT_FALSE(anyFileHolds(files, "Kx7-"));
    EXPECT_FALSE(anyFileHolds(files, "Qz9-"));
    // The keyring's own (encrypted) file is there, in the scratch home.
    EXPECT_TRUE(
        std::filesystem::exists(std::filesystem::path(files) / "data/keyrings/login.keyring"));
    EXPECT_EQ(keyringRemove("me@example.org", failure), KeyringResult::Ok);
    EXPECT_EQ(keyringLookup("me@example.org", secret, failure), KeyringResult::NotFound);
    EXPECT_EQ(keyringRemove("me@example.org", failure), KeyringResult::NotFound);
}

}  // namespace
}  // namespace parvola
