#include "setup/provider_reply.h"

#include <gtest/gtest.h>

namespace parvola {
namespace {

// Real refusals as the providers word them, against the shipped table.
TEST(ProviderReply, KnownRefusalsOfTheShippedTableAreExplainedWithTheServersWordsKept) {
    const ProviderTable& table = installedProviderTable();
    ASSERT_FALSE(table.providers.empty());
    const RefusalExplanation gmail = explainLoginRefusal(
        *table.find("gmail.com"),
        "534-5.7.9 Application-specific password required. Learn more at\r\n534 5.7.9 "
        "https://support.google.com/mail/?p=InvalidSecondFactor");
    EXPECT_EQ(gmail.advice, ProviderAdvice::AppPassword);
    EXPECT_EQ(gmail.text,
              "Gmail does not take the password of its web site from mail programs: create an app "
              "password (some providers call it an authorization code) in the account settings on "
              "Gmail's web site and log in with that instead. The server said: \"534-5.7.9 "
              "Application-specific password required. Learn more at  534 5.7.9 "
              "https://support.google.com/mail/?p=InvalidSecondFactor\"");

    const RefusalExplanation netease =
        explainLoginRefusal(*table.find("126.com"), "550 User has no permission");
    EXPECT_EQ(netease.advice, ProviderAdvice::EnableAccess);
    EXPECT_NE(netease.text.find("switch it on in the settings on NetEase 126 Mail's web site"),
              std::string::npos);

    const RefusalExplanation qq =
        explainLoginRefusal(*table.find("foxmail.com"),
                            "-ERR Login fail. Please enter your Authorization Code to login");
    EXPECT_EQ(qq.advice, ProviderAdvice::AppPassword);

    // An unknown refusal at a provider known to need an app password.
    const RefusalExplanation icloud =
        explainLoginRefusal(*table.find("icloud.com"), "NO [AUTHENTICATIONFAILED] failed");
    EXPECT_EQ(icloud.advice, ProviderAdvice::Notes);
    EXPECT_EQ(icloud.text.rfind("The server refused the login. iCloud Mail does not take", 0), 0u);

    // The same words at a provider that does not use them mean nothing.
    const RefusalExplanation aliyun =
        explainLoginRefusal(*table.find("aliyun.com"), "Application-specific password required");
    EXPECT_EQ(aliyun.advice, ProviderAdvice::Notes);
    ProviderEntry plain;
    plain.name = "Plain";
    EXPECT_EQ(explainLoginRefusal(plain, "authorization code").advice, ProviderAdvice::None);
}

}  // namespace
}  // namespace parvola
