#include "transfer/task_row_texts.h"

#include <cstdio>
#include <ctime>

#include "platform/local_time.h"

namespace parvola {

std::string liveProgressText(float percent) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f%%", static_cast<double>(percent));
    return text;
}

std::string liveSpeedText(long bytesPerSecond) {
    return std::to_string(bytesPerSecond / 1024) + "KByte/s";
}

std::string redrawProgressText(const TransferTask& task) {
    if (task.progress != 0)
        return std::to_string(static_cast<long long>(task.progress)) + "%";
    return std::to_string(task.completedPiecesPercent()) + "%";
}

std::string redrawSpeedText(const TransferTask& task) {
    if (task.speed != 0)
        return std::to_string(task.speed / 1024) + "KByte";
    if (task.direction == TransferDirection::Download)
        return "发送请求...";
    return "";
}

TaskRowTexts redrawRowTexts(const TransferTask& task) {
    TaskRowTexts row;
    row.fileId = task.fileId;
    row.user = task.user;
    row.direction = directionText(task.direction);
    row.fileName = task.fileName;
    row.fileSize =
        std::to_string(static_cast<unsigned long long>(task.fileSize < 0 ? 0 : task.fileSize));
    row.catalogFolder = task.catalogFolder;
    row.startTime = localTimeText(static_cast<std::time_t>(task.startTime), YearDigits::Four);
    row.progress = redrawProgressText(task);
    row.speed = redrawSpeedText(task);
    return row;
}

}  // namespace parvola
