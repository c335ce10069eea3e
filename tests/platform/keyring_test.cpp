#include "platform/keyring.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

// No bus address in a desktop session: the bus would be started through
// dbus-launch, which may not be installed. Either way no keyring answers,
// so nobody is told a password goes to the keyring.
TEST(Keyring, WithNoBusAddressOnADisplayNoKeyringAnswers) {
    test::TempDir runtime("parvola-nobus");
    test::ScopedEnv folder("XDG_RUNTIME_DIR", runtime.str());
    test::ScopedEnv display("DISPLAY", ":97");
    const char* before = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string address = before != nullptr ? before : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    std::string failure;
    const KeyringResult stored = keyringStore("me@example.org", "pw", failure);
    const bool answers = keyringAnswers();
    if (before != nullptr)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    EXPECT_EQ(stored, KeyringResult::Unavailable) << failure;
    EXPECT_FALSE(answers);
}

}  // namespace
}  // namespace parvola
