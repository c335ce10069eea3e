// The texts a task row shows while it runs and after a redraw.
#include <gtest/gtest.h>

#include "transfer/task_row_texts.h"

namespace parvola {
namespace {

TransferTask task(const char* direction) {
    TransferTask t;
    t.user = "demo@parvola.test";
    t.direction = directionFromText(direction);
    t.fileName = "报告.doc";
    t.fileSize = 4294967295LL;
    t.pieceSize = 1073741824;  // 4 pieces
    t.nextPieceIndex = 3;
    return t;
}

TEST(TaskTexts, LiveTextsHaveTwoDecimalsAndKilobytesPerSecond) {
    EXPECT_EQ(liveProgressText(37.5f), "37.50%");
    EXPECT_EQ(liveSpeedText(12 * 1024 + 1023), "12KByte/s");
}

TEST(TaskTexts, RedrawShowsWholeNumbers) {
    TransferTask t = task("上传");
    t.progress = 37.5f;
    t.speed = 2048;
    EXPECT_EQ(redrawProgressText(t), "37%");
    EXPECT_EQ(redrawSpeedText(t), "2KByte");
    EXPECT_EQ(redrawRowTexts(t).fileSize, "4294967295");
}

TEST(TaskTexts, RedrawWithoutProgressShowsTheWholePiecesPercent) {
    EXPECT_EQ(redrawProgressText(task("下载")), "50%");
}

TEST(TaskTexts, DownloadWithoutDataSaysSendingRequestUploadSaysNothing) {
    EXPECT_EQ(redrawSpeedText(task("下载")), "发送请求...");
    EXPECT_EQ(redrawSpeedText(task("上传")), "");
}

}  // namespace
}  // namespace parvola
