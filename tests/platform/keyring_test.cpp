#include "platform/keyring.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

// No session bus: the keyring is unavailable at once, not an error and not a hang.
TEST(Keyring, WithoutASessionBusNoKeyringAnswers) {
    test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/parvola-bus");
    test::ScopedEnv display("DISPLAY", "");
    std::string failure;
    EXPECT_EQ(keyringStore("me@example.org", "pw", failure), KeyringResult::Unavailable);
    EXPECT_FALSE(failure.empty());
    EXPECT_FALSE(keyringAnswers());
}

}  // namespace
}  // namespace parvola
