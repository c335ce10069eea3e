#include "transfer/piece_subject.h"

#include <gtest/gtest.h>

namespace parvola {
namespace {

PieceSubject reportDocPiece2() {
    PieceSubject s;
    s.fileName = "report.doc";
    s.fileId = 1234;
    s.time = 1256450000;
    s.pieceLength = 10485760;
    s.pieceCount = 3;
    s.pieceIndex = 2;
    return s;
}

TEST(PieceSubject, SecondOfThreePiecesIsTheWholeLine) {
    EXPECT_EQ(formatSubject(reportDocPiece2()),
              "PARVOL:;report.doc;1234;1256450000;10485760;0000000000;3;2");
}

TEST(PieceSubject, FormattedSubjectsParseBackToTheSameFields) {
    const PieceSubject original = reportDocPiece2();
    EXPECT_EQ(parseSubject(formatSubject(original)), original);

    PieceSubject chinese;
    chinese.fileName = "我的 文档.tar.gz";
    chinese.fileId = 0;
    chinese.time = 0;
    chinese.pieceLength = 1;
    EXPECT_EQ(parseSubject(formatSubject(chinese)), chinese);
    EXPECT_EQ(formatSubject(chinese), "PARVOL:;我的 文档.tar.gz;0;0;1;0000000000;1;1");

    PieceSubject largest = reportDocPiece2();
    largest.fileId = 32767;
    largest.time = 4102444800;  // beyond 32 bits of signed seconds
    EXPECT_EQ(parseSubject(formatSubject(largest)), largest);
}

TEST(PieceSubject, ParsingReadsLeadingDigitsAndTheWholeRemainderAsIndex) {
    const PieceSubject s = parseSubject("PARVOL:;a.txt;12x;99;abc;0000000000;4;3 trailing");
    EXPECT_EQ(s.tag, "PARVOL:");
    EXPECT_EQ(s.fileName, "a.txt");
    EXPECT_EQ(s.fileId, 12);
    EXPECT_EQ(s.time, 99);
    EXPECT_EQ(s.pieceLength, 0);  // no digits read as 0
    EXPECT_EQ(s.reserved, "0000000000");
    EXPECT_EQ(s.pieceCount, 4);
    EXPECT_EQ(s.pieceIndex, 3);

    // Extra separators all land in the remainder, whose leading digits are the index.
    EXPECT_EQ(parseSubject("PARVOL:;a;1;2;3;0000000000;4;5;6").pieceIndex, 5);
}

TEST(PieceSubject, ShortOrForeignSubjectsParseToEmptyFields) {
    const PieceSubject empty = parseSubject("");
    EXPECT_EQ(empty.tag, "");
    EXPECT_EQ(empty.fileName, "");
    EXPECT_EQ(empty.fileId, 0);
    EXPECT_EQ(empty.pieceCount, 0);
    EXPECT_EQ(empty.pieceIndex, 0);

    const PieceSubject cut = parseSubject("PARVOL:;name.bin;77");
    EXPECT_EQ(cut.tag, "PARVOL:");
    EXPECT_EQ(cut.fileName, "name.bin");
    EXPECT_EQ(cut.fileId, 77);
    EXPECT_EQ(cut.time, 0);
    EXPECT_EQ(cut.reserved, "");
    EXPECT_EQ(cut.pieceIndex, 0);
}

TEST(PieceSubject, ANameWithSemicolonDoesNotSurviveTheRoundTrip) {
    PieceSubject s = reportDocPiece2();
    s.fileName = "a;b.txt";
    EXPECT_NE(parseSubject(formatSubject(s)).fileName, s.fileName);
}

TEST(PieceSubject, CatalogSubjectsAreNoPieceSubjects) {
    EXPECT_TRUE(looksLikePieceSubject("PARVOL:;report.doc;1;2;3;0000000000;1;1"));
    EXPECT_FALSE(looksLikePieceSubject("PARVOLCONFIG;report.doc;1"));
    EXPECT_FALSE(looksLikePieceSubject("Re: hello"));
}

}  // namespace
}  // namespace parvola
