#pragma once
// The exit sequence without its window: the question about running
// transfers, the save of unfinished ones, the share notification of every
// logged-in account, the removal of the temporary open folder and the
// reminder about downloaded files. The desktop client runs it from the tray's
// exit command and then destroys its main window; the command line runs it
// before it ends.
#include <string>

#include "transfer/task_list.h"

namespace parvola {

inline constexpr const char* kExitQuestionText = "有传输任务正在进行中，是否继续";
// "%s" stands for the default download folder.
inline constexpr const char* kDownloadFolderReminderFormat = "请妥善处理下载目录: %s 中的文件!";
inline constexpr const char* kChosenFolderReminderText =
    "您临时指定了下载地址，下载您的文件，退出后，请妥善处理。";

struct ExitInputs {
    // The folder of files opened from the list, removed with its content
    // (empty: there is none).
    std::string temporaryOpenFolder;
    // A program that can go on running (the desktop client) offers the
    // question's Cancel as "do not quit": the sequence then stops at once,
    // with the transfers still running and nothing saved or posted. Without
    // it (the command line after Ctrl-C) Cancel means "quit without saving".
    bool cancelKeepsRunning = false;
};

struct ExitReport {
    bool asked = false;       // the running-transfers question was shown
    bool tasksSaved = false;  // the answer was OK and the records were written
    bool declined = false;    // Cancel with cancelKeepsRunning: the program goes on
    int sharesPosted = 0;     // accounts whose share notification was posted
    bool filesDownloaded = false;
    std::string reminder;  // the reminder shown, empty when none
};

// The reminder for downloaded files, as the settings file stands now.
std::string downloadReminderText();

// Runs the sequence in order. The question is asked at most once, and only
// while a record of `list` is not cancelled; any answer but OK saves nothing.
// The exit goes on in every case but a declined question (cancelKeepsRunning).
ExitReport runExitSequence(const ExitInputs& inputs = ExitInputs(), TaskList& list = taskList());

}  // namespace parvola
