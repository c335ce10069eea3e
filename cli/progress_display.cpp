#include "cli/progress_display.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "transfer/piece_retry.h"
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

ProgressDisplay::ProgressDisplay(bool terminal, TaskList& list) : terminal_(terminal), list_(list) {
    for (const TransferTask& task : list_.tasks()) {
        Pieces& pieces = pieces_[task.fileId];
        pieces.fileName = task.fileName;
        pieces.count = task.pieceCount();
        pieces.done = pieces.printed = task.nextPieceIndex - 1;
    }
    list_.addListener(this);
}

ProgressDisplay::~ProgressDisplay() {
    list_.removeListener(this);
}

void ProgressDisplay::record() {
    // The list's lock is held here, and taken again (it is recursive).
    const std::vector<TransferTask> tasks = list_.tasks();
    std::lock_guard<std::mutex> guard(mutex_);
    for (const TransferTask& task : tasks) {
        if (task.cancelled)
            continue;
        Pieces& pieces = pieces_[task.fileId];
        pieces.fileName = task.fileName;
        pieces.count = task.pieceCount();
        pieces.done = std::max<long long>(pieces.done, task.nextPieceIndex - 1);
    }
}

void ProgressDisplay::printPieces() {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto& [id, pieces] : pieces_) {
        for (; pieces.printed < pieces.done; ++pieces.printed)
            std::cerr << pieces.fileName << ": piece " << pieces.printed + 1 << "/" << pieces.count
                      << " done" << std::endl;
    }
}

void ProgressDisplay::speedTextChanged(int row, const std::string& text) {
    if (!isRetryingText(text))
        return;
    // The list's lock is held here, and taken again (it is recursive).
    const std::vector<TaskRowTexts> rows = list_.rows();
    const std::string name =
        row >= 0 && static_cast<size_t>(row) < rows.size() ? rows[row].fileName : std::string();
    std::lock_guard<std::mutex> guard(mutex_);
    statusLines_.push_back(name + ": " + text);
}

void ProgressDisplay::printStatus() {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        lines.swap(statusLines_);
    }
    for (const std::string& line : lines) {
        if (lineShown_)
            std::cerr << "\r\033[K";
        std::cerr << line << std::endl;
    }
}

void ProgressDisplay::update() {
    printStatus();
    if (!terminal_) {
        printPieces();
        return;
    }
    for (const TransferTask& task : list_.tasks()) {
        if (task.cancelled)
            continue;
        std::cerr << "\r\033[K" << task.fileName << " " << progressLine(task, 30) << std::flush;
        lineShown_ = true;
    }
}

void ProgressDisplay::finish() {
    printStatus();
    if (lineShown_)
        std::cerr << std::endl;
    lineShown_ = false;
    if (!terminal_)
        printPieces();
}

}  // namespace parvola::cli
