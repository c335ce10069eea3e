#include "cli/progress_display.h"

#include <cstdio>
#include <iostream>

#include "transfer/task_row_texts.h"

namespace parvola::cli {
namespace {

std::string durationText(long long seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

std::string progressLine(const TransferTask& task, int width) {
    double percent = task.progress < 0 ? 0 : (task.progress > 100 ? 100 : task.progress);
    int filled = static_cast<int>(percent * width / 100.0);
    std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(width - filled), '.') + "] ";
    line += liveProgressText(static_cast<float>(percent));
    if (task.speed > 0) {
        line += "  " + liveSpeedText(task.speed);
        long long left = static_cast<long long>(task.fileSize * (100.0 - percent) / 100.0);
        line += "  " + durationText(left / task.speed) + " left";
    } else {
        line += "  " + std::string(task.isUpload() ? "sending..." : "发送请求...");
    }
    return line;
}

ProgressDisplay::ProgressDisplay(bool terminal) : terminal_(terminal) {}

void ProgressDisplay::update(const TaskList& list) {
    for (const TransferTask& task : list.tasks()) {
        if (task.cancelled)
            continue;
        if (terminal_) {
            std::string line = task.fileName + " " + progressLine(task, 30);
            std::cerr << "\r\033[K" << line << std::flush;
            lineShown_ = true;
            continue;
        }
        // Without a terminal: one line for every piece finished since the last look.
        Seen& seen = seen_[task.fileId];
        seen.fileName = task.fileName;
        seen.pieceCount = task.pieceCount();
        printPieces(seen, task.nextPieceIndex - 1);
    }
}

void ProgressDisplay::printPieces(Seen& seen, int upTo) {
    for (; seen.printed < upTo; ++seen.printed)
        std::cerr << seen.fileName << ": piece " << seen.printed + 1 << "/" << seen.pieceCount
                  << " done" << std::endl;
}

void ProgressDisplay::finish(bool succeeded) {
    if (lineShown_)
        std::cerr << std::endl;
    lineShown_ = false;
    if (succeeded && !terminal_)
        for (auto& [id, seen] : seen_)
            printPieces(seen, seen.pieceCount);
}

}  // namespace parvola::cli
