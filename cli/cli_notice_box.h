#pragma once
// How the command line shows the engine's messages: on standard error, every
// line starting with "parvola-cli: ", so scripts can tell them from results.
// A question the command line answers for the user (the exit sequence's, on
// Ctrl-C) is answered without being printed: it would never be read.
#include <mutex>
#include <string>

#include "platform/notice_box.h"

namespace parvola::cli {

// Prints `text` to standard error, each line behind "parvola-cli: ".
void printError(const std::string& text);

class CliNoticeBox : public NoticeBox {
  public:
    NoticeAnswer show(const std::string& text) override;
    NoticeAnswer ask(const std::string& text) override;
    // From now on `question` is answered with `answer` and not printed.
    void answerSilently(const std::string& question, NoticeAnswer answer);

  private:
    std::mutex mutex_;
    std::string question_;
    NoticeAnswer answer_ = NoticeAnswer::Cancel;
};

// The box installed by main (null before).
CliNoticeBox* cliNoticeBox();
void installCliNoticeBox();

}  // namespace parvola::cli
