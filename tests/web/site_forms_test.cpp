#include "web/site_forms.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/decimal_comma_locale.h"

namespace parvola {
namespace {

TEST(SiteForms, FormsAreBuiltInTheirKeyOrderWithRawValues) {
    EXPECT_EQ(loginForm("a@b.test", "10.0.0.7"), "action=login&email=a@b.test&ip=10.0.0.7");
    EXPECT_EQ(loginForm("a@b.test", ""), "action=login&email=a@b.test&ip=");
    EXPECT_EQ(deleteForm("a@b.test", "R&D=plan 100%.doc", "24-03-05 07:08:09"),
              "action=delete&email=a@b.test&filename=R&D=plan 100%.doc&time=24-03-05 07:08:09");
    EXPECT_EQ(shareForm("a@b.test", "192.168.1.2"),
              "action=share&email=a@b.test&share=192.168.1.2");
    EXPECT_EQ(webLoginForm("box@sina.test", "p&w=1"), "email=box@sina.test&password=p&w=1");
    EXPECT_EQ(webLoginForm("", ""), "email=&password=");
}

TEST(SiteForms, XmlFormWeighsTheSpaceInMebibytesWithFourDecimals) {
    EXPECT_EQ(xmlForm("a@b.test", 3, 0), "action=xml&email=a@b.test&xml=3&share=0.0000");
    // 1048576 bytes × 1.2 = 1.2 MiB
    EXPECT_EQ(xmlForm("a@b.test", 12, 1048576), "action=xml&email=a@b.test&xml=12&share=1.2000");
    // 1000 bytes × 1.2 / 1048576 = 0.00114... -> 0.0011
    EXPECT_EQ(xmlForm("a@b.test", 1, 1000), "action=xml&email=a@b.test&xml=1&share=0.0011");
    // Beyond 32 bits of bytes.
    EXPECT_EQ(xmlForm("a@b.test", 1, 5ull << 32),
              "action=xml&email=a@b.test&xml=1&share=24576.0000");
}

TEST(SiteForms, XmlFormIgnoresADecimalCommaLocale) {
    test::DecimalCommaLocale comma;
    ASSERT_TRUE(comma.active()) << "localedef could not make a locale (scripts/setup.sh installs "
                                   "the locale sources)";
    char written[16];
    std::snprintf(written, sizeof written, "%.1f", 1.5);
    ASSERT_STREQ(written, "1,5");  // the locale is in force
    EXPECT_EQ(xmlForm("a@b.test", 2, 1048576), "action=xml&email=a@b.test&xml=2&share=1.2000");
}

}  // namespace
}  // namespace parvola
