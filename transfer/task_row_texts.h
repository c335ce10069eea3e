#pragma once
// The texts of one task-list row, computed here so that the desktop view and
// the command line only display them.
#include <string>

#include "transfer/transfer_task.h"

namespace parvola {

// The eight columns of a row, plus the file id that names the record.
struct TaskRowTexts {
    int fileId = 0;
    std::string user;           // " 账号"
    std::string direction;      // " 动作"
    std::string fileName;       // "  文件名"
    std::string fileSize;       // "  文件大小": bytes in decimal
    std::string catalogFolder;  // "  保存位置"
    std::string startTime;      // "    时间": local time "%Y-%m-%d %H:%M:%S"
    std::string progress;       // "  进度"
    std::string speed;          // "    速度"

    bool operator==(const TaskRowTexts&) const = default;
};

// The speed column of a transfer that waits out a pause (queued before its
// first piece, or between two pieces).
inline constexpr const char* kPausedSpeedText = "已暂停";

// Progress and speed while a transfer runs: two decimals and KByte per second.
std::string liveProgressText(float percent);     // "49.67%"
std::string liveSpeedText(long bytesPerSecond);  // "12KByte/s"

// A whole row as a redraw shows it: progress as a whole number (the whole
// pieces' percent while nothing was reported), speed as "%dKByte", or
// "发送请求..." for a download that has received nothing yet.
TaskRowTexts redrawRowTexts(const TransferTask& task);
std::string redrawProgressText(const TransferTask& task);
std::string redrawSpeedText(const TransferTask& task);

}  // namespace parvola
