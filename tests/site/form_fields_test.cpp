#include "site/form_fields.h"

#include <gtest/gtest.h>

namespace parvola::site {
namespace {

FormFields parsed(const std::string& text) {
    FormFields form;
    std::string error;
    EXPECT_TRUE(parseNotificationForm(text, form, error)) << text << ": " << error;
    return form;
}

std::string refusal(const std::string& text) {
    FormFields form;
    std::string error;
    EXPECT_FALSE(parseNotificationForm(text, form, error)) << text;
    return error;
}

TEST(FormFields, EachActionSplitsByItsKeyOrder) {
    FormFields login = parsed("action=login&email=a@b.test&ip=10.1.2.3");
    EXPECT_EQ(login.action, "login");
    EXPECT_EQ(login.get("email"), "a@b.test");
    EXPECT_EQ(login.get("ip"), "10.1.2.3");

    FormFields xml = parsed("action=xml&email=a@b.test&xml=12&share=1.2000");
    EXPECT_EQ(xml.action, "xml");
    EXPECT_EQ(xml.get("xml"), "12");
    EXPECT_EQ(xml.get("share"), "1.2000");

    FormFields del = parsed("action=delete&email=a@b.test&filename=x.doc&time=24-03-05 07:08:09");
    EXPECT_EQ(del.get("filename"), "x.doc");
    EXPECT_EQ(del.get("time"), "24-03-05 07:08:09");

    FormFields share = parsed("action=share&email=a@b.test&share=192.168.0.1");
    EXPECT_EQ(share.action, "share");
    EXPECT_EQ(share.get("share"), "192.168.0.1");
}

TEST(FormFields, FileNameRunsToTheLastTimeKey) {
    FormFields del = parsed(
        "action=delete&email=a@b.test&filename=R&D=1&time=2&filename=3.txt&time=24-03-05 07:08:09");
    EXPECT_EQ(del.get("email"), "a@b.test");
    EXPECT_EQ(del.get("filename"), "R&D=1&time=2&filename=3.txt");
    EXPECT_EQ(del.get("time"), "24-03-05 07:08:09");
}

TEST(FormFields, ValuesAreNotPercentDecoded) {
    FormFields del =
        parsed("action=delete&email=a%40b&filename=100%25+x.doc&time=24-03-05 07:08:09");
    EXPECT_EQ(del.get("email"), "a%40b");
    EXPECT_EQ(del.get("filename"), "100%25+x.doc");
}

TEST(FormFields, OtherValuesEndAtTheLastKeyThatFollowsThem) {
    EXPECT_EQ(parsed("action=login&email=x&ip=y&ip=1.2.3.4").get("email"), "x&ip=y");
    EXPECT_EQ(parsed("action=share&email=s&share=t&share=1.2.3.4").get("email"), "s&share=t");
    EXPECT_EQ(parsed("action=login&email=&ip=").get("email"), "");
}

TEST(FormFields, BadFormsAreRefusedWithAReason) {
    EXPECT_EQ(refusal(""), "missing field: action");
    EXPECT_EQ(refusal("email=a&action=xml"), "missing field: action");
    EXPECT_EQ(refusal("action=upload&email=a"), "unknown action: upload");
    EXPECT_EQ(refusal("action=login"), "missing field: email");
    EXPECT_EQ(refusal("action=login&email=a@b.test"), "missing field: ip");
    EXPECT_EQ(refusal("action=xml&email=a&share=1.0000&xml=3"), "missing field: share");
    EXPECT_EQ(refusal("action=xml&email=a&xml=3"), "missing field: share");
    EXPECT_EQ(refusal("action=xml&email=a&xml=three&share=1.0000"),
              "field xml is not a whole number");
    EXPECT_EQ(refusal("action=xml&email=a&xml=3&share=1,5"), "field share is not a decimal number");
    EXPECT_EQ(refusal("action=xml&email=&xml=3&share=1.0000"), "empty field: email");
    EXPECT_EQ(refusal("action=delete&email=a&time=24-03-05 07:08:09"), "missing field: filename");
    EXPECT_EQ(refusal("action=delete&email=a&filename=x"), "missing field: time");
    EXPECT_EQ(refusal("action=delete&email=a&filename=&time=24-03-05 07:08:09"),
              "empty field: filename");
    EXPECT_EQ(refusal("action=delete&email=a&filename=x&time=2024-03-05 07:08:09"),
              "field time is not yy-mm-dd hh:mm:ss");
    EXPECT_EQ(refusal("action=share&email=a"), "missing field: share");
}

TEST(FormFields, WebLoginSplitsAtTheFirstPasswordKey) {
    FormFields form;
    std::string error;
    ASSERT_TRUE(parseWebLoginForm("email=box@sina.test&password=p&password=q", form, error));
    EXPECT_EQ(form.action, "weblogin");
    EXPECT_EQ(form.get("email"), "box@sina.test");
    EXPECT_EQ(form.get("password"), "p&password=q");
    ASSERT_TRUE(parseWebLoginForm("", form, error));
    EXPECT_EQ(form.get("email"), "");
    EXPECT_FALSE(parseWebLoginForm("user=x", form, error));
    EXPECT_EQ(error, "missing field: email");
    EXPECT_FALSE(parseWebLoginForm("email=x", form, error));
    EXPECT_EQ(error, "missing field: password");
}

}  // namespace
}  // namespace parvola::site
