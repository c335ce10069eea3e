#include "transfer/piece_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;
constexpr long long MiB = 1048576;

TEST(PieceSize, ChosenByTheProviderRowsSmtpHosts) {
    test::AppHome home;  // no deploy.ini: the built-in provider hosts
    EXPECT_EQ(pieceSizeForSmtpHost("smtp.qq.com"), 51380224);
    EXPECT_EQ(pieceSizeForSmtpHost("smtp.sohu.com"), 6291456);
    EXPECT_EQ(pieceSizeForSmtpHost("smtp.sina.com.cn"), 10485760);
    EXPECT_EQ(pieceSizeForSmtpHost(""), 10485760);
    // A sub-string test of the account's host against the row's host.
    EXPECT_EQ(pieceSizeForSmtpHost("relay.smtp.sohu.com.internal"), 6291456);
    EXPECT_EQ(pieceSizeForSmtpHost("sohu.com"), 10485760);
}

TEST(PieceSize, DeploymentHostsDecideAndQqIsTestedFirst) {
    test::AppHome home;
    test::writeFile(home.path() / "deploy.ini",
                    "[qq]\nsmtp=127.0.0.2\n[sohu]\nsmtp=127.0.0.3\n[sina]\nsmtp=127.0.0.1\n");
    EXPECT_EQ(pieceSizeForSmtpHost("127.0.0.2"), kQqPieceSize);
    EXPECT_EQ(pieceSizeForSmtpHost("127.0.0.3"), kSohuPieceSize);
    EXPECT_EQ(pieceSizeForSmtpHost("127.0.0.1"), kOtherPieceSize);

    DeployConfig both = loadDeployConfig();
    both.providers[1].smtpHost = "mail.test";  // sohu row
    both.providers[5].smtpHost = "mail.test";  // qq row
    EXPECT_EQ(both.providers[1].lowerKeyword, "sohu");
    EXPECT_EQ(both.providers[5].lowerKeyword, "qq");
    EXPECT_EQ(pieceSizeForSmtpHost("mail.test", both), kQqPieceSize);

    DeployConfig emptyRows = both;
    emptyRows.providers[1].smtpHost = "";
    emptyRows.providers[5].smtpHost = "";
    EXPECT_EQ(pieceSizeForSmtpHost("anything", emptyRows), kOtherPieceSize);
}

TEST(PieceCount, ExactPieceSizeIsOnePieceAndOneByteMoreIsTwo) {
    const long long size = kOtherPieceSize;
    EXPECT_TRUE(isSinglePiece(size, size));
    EXPECT_EQ(pieceCount(size, size), 1);
    EXPECT_EQ(pieceLength(size, size, 1), size);

    EXPECT_FALSE(isSinglePiece(size + 1, size));
    EXPECT_EQ(pieceCount(size + 1, size), 2);
    EXPECT_EQ(pieceLength(size + 1, size, 1), size);
    EXPECT_EQ(pieceLength(size + 1, size, 2), 1);
    EXPECT_EQ(pieceLength(size + 1, size, 3), 0);
    EXPECT_EQ(pieceLength(size + 1, size, 0), 0);

    // An exact multiple gets no empty last piece.
    EXPECT_EQ(pieceCount(3 * size, size), 3);
    EXPECT_EQ(pieceLength(3 * size, size, 3), size);
}

TEST(PieceCount, TwentyFiveMebibytesAtEachProvider) {
    const long long size = 25 * MiB;
    EXPECT_EQ(pieceCount(size, kSohuPieceSize), 5);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(pieceLength(size, kSohuPieceSize, i), 6 * MiB);
    EXPECT_EQ(pieceLength(size, kSohuPieceSize, 5), 1 * MiB);

    EXPECT_TRUE(isSinglePiece(size, kQqPieceSize));
    EXPECT_EQ(pieceCount(size, kQqPieceSize), 1);

    EXPECT_EQ(pieceCount(size, kOtherPieceSize), 3);
    EXPECT_EQ(pieceLength(size, kOtherPieceSize, 3), 5 * MiB);
}

TEST(PieceCount, NothingToCountGivesZero) {
    EXPECT_EQ(pieceCount(0, kOtherPieceSize), 0);
    EXPECT_EQ(pieceCount(100, 0), 0);
    EXPECT_EQ(pieceCount(100, -1), 0);
}

TEST(PieceFolder, NamesSharingTheirStemGetFoldersOfTheirOwn) {
    test::AppHome home;
    const fs::path temp = home.path() / "temp";
    EXPECT_EQ(fs::path(pieceFolder("report.doc", 17)), temp / "report" / "17.pieces");
    EXPECT_EQ(fs::path(pieceFolder("report.pdf", 18)), temp / "report" / "18.pieces");
    EXPECT_EQ(fs::path(pieceFolder("README", 5)), temp / "5.pieces");
    EXPECT_EQ(fs::path(pieceFolder(".profile", 6)), temp / "6.pieces");
    EXPECT_EQ(fs::path(pieceFilePath(pieceFolder("report.doc", 17), 2)),
              temp / "report" / "17.pieces" / "2");
    // A "/" from a hostile subject cannot lead out of "temp".
    EXPECT_EQ(fs::path(pieceFolder("a/b.txt", 1)), temp / "a_b" / "1.pieces");
    EXPECT_EQ(fs::path(pieceFolder("../../etc/passwd", 1)), temp / "1.pieces");

    ASSERT_TRUE(createPieceFolder("report.doc", 17));
    ASSERT_TRUE(createPieceFolder("report.pdf", 18));
    test::writeFile(pieceFilePath(pieceFolder("report.doc", 17), 1), "doc piece");
    test::writeFile(pieceFilePath(pieceFolder("report.pdf", 18), 1), "pdf piece");

    // Removing one upload's pieces leaves the other's alone.
    EXPECT_FALSE(removePieceFolder("report.pdf", 18, PieceFolderRemoval::OnlyWhenEmpty));
    EXPECT_TRUE(fs::exists(pieceFilePath(pieceFolder("report.pdf", 18), 1)));
    EXPECT_TRUE(removePieceFolder("report.pdf", 18, PieceFolderRemoval::WithContents));
    EXPECT_EQ(test::readFile(pieceFilePath(pieceFolder("report.doc", 17), 1)), "doc piece");
    EXPECT_TRUE(fs::is_directory(temp / "report"));

    EXPECT_TRUE(removePieceFolder("report.doc", 17, PieceFolderRemoval::WithContents));
    EXPECT_FALSE(fs::exists(temp / "report"));  // the last user removes the name folder
    EXPECT_TRUE(fs::is_directory(temp));

    // A name-less upload's folder never takes "temp" with it.
    ASSERT_TRUE(createPieceFolder("README", 5));
    test::writeFile(temp / "keep", "other");
    EXPECT_TRUE(removePieceFolder("README", 5, PieceFolderRemoval::WithContents));
    EXPECT_EQ(test::readFile(temp / "keep"), "other");
}

}  // namespace
}  // namespace parvola
