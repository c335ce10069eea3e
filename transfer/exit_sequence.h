#pragma once
// The exit sequence without its window: the question about running
// transfers, the save of unfinished ones, the share notification of every
// logged-in account, the removal of the temporary open folder and the
// reminder about downloaded files. The desktop client runs it from the tray's
// exit command and then destroys its main window; the command line runs it
// before it ends.
#include <chrono>
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
    // Transfers that are not saved are cancelled, and their workers remove
    // what they had sent and cut (piece mails, temporary pieces). The exit
    // waits this long for the workers to end before it goes on, so the
    // process does not end under them (zero: the caller waits itself).
    std::chrono::milliseconds cleanupWait{30000};
    // A program that can go on running (the desktop client) offers the
    // question's Cancel as "do not quit": the sequence then stops at once,
    // with the transfers still running and nothing saved or posted. Without
    // it (the command line after Ctrl-C) Cancel means "quit without saving".
    bool cancelKeepsRunning = false;
};

struct ExitReport {
    bool asked = false;       // the running-transfers question was shown
    bool tasksSaved = false;  // the answer was OK and the records were written
    int tasksCancelled = 0;   // running transfers cancelled because nothing was saved
    bool cleanedUp = true;    // their workers ended within the cleanup wait
    bool declined = false;    // Cancel with cancelKeepsRunning: the program goes on
    int sharesPosted = 0;     // accounts whose share notification was posted
    bool filesDownloaded = false;
    std::string reminder;  // the reminder shown, empty when none
};

// The reminder for downloaded files, as the settings file stands now.
std::string downloadReminderText();

// Runs the sequence in order. The question is asked at most once, and only
// while a record of `list` is not cancelled. OK saves the unfinished
// transfers; any other answer saves nothing and, unless cancelKeepsRunning
// makes it a declined exit (the program goes on, nothing done), cancels the
// running transfers so that their workers remove what they had sent. The
// exit goes on in every case but a declined question.
ExitReport runExitSequence(const ExitInputs& inputs = ExitInputs(), TaskList& list = taskList());

}  // namespace parvola
