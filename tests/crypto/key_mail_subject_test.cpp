// The key mail's subject is found by its own reader and passed by the
// catalog's and the piece search's.
#include <gtest/gtest.h>

#include "transfer/catalog_sync.h"
#include "transfer/key_mail.h"
#include "transfer/piece_subject.h"

namespace parvola {
namespace {

TEST(KeyMailSubject, ReadsBackAndIsNeitherACatalogNorAPiece) {
    const std::string subject = keyMailSubject(1796870000, "someone@sina.test");
    EXPECT_EQ(subject, "PARVOLCONFIGKEY;1796870000;someone@sina.test");
    long long time = 0;
    std::string address;
    ASSERT_TRUE(parseKeyMailSubject(subject, time, address));
    EXPECT_EQ(time, 1796870000);
    EXPECT_EQ(address, "someone@sina.test");

    int version = 0;
    EXPECT_FALSE(parseCatalogSubject(subject, version, time, address));
    EXPECT_FALSE(looksLikePieceSubject(subject));
    EXPECT_NE(subject.find(kPieceMarker), std::string::npos);  // the IMAP search lists it

    EXPECT_FALSE(
        parseKeyMailSubject(CatalogSubject(3, 1796870000, "someone@sina.test"), time, address));
    EXPECT_FALSE(parseKeyMailSubject("PARVOLCONFIGKEY;;someone@sina.test", time, address));
    EXPECT_FALSE(parseKeyMailSubject("PARVOLCONFIGKEY;12;", time, address));
    EXPECT_FALSE(
        parseKeyMailSubject("PARVOL:;PARVOLCONFIGKEY;1;a;1;0000000000;1;1", time, address));
}

}  // namespace
}  // namespace parvola
