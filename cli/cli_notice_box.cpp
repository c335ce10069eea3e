#include "cli/cli_notice_box.h"

#include <iostream>
#include <memory>

namespace parvola::cli {
namespace {

std::mutex printMutex;
std::shared_ptr<CliNoticeBox> installed;

}  // namespace

void printError(const std::string& text) {
    std::lock_guard<std::mutex> guard(printMutex);
    size_t start = 0;
    do {
        const size_t end = text.find('\n', start);
        std::cerr << "parvola-cli: " << text.substr(start, end - start) << '\n';
        start = end == std::string::npos ? end : end + 1;
    } while (start != std::string::npos && start < text.size());
    std::cerr.flush();
}

NoticeAnswer CliNoticeBox::show(const std::string& text) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!question_.empty() && text == question_)
            return answer_;
    }
    // Details (which server, which step, what the system said) follow the
    // message on its line.
    std::string shown, details;
    splitNoticeDetails(text, shown, details);
    printError(details.empty() ? shown : shown + " (" + details + ")");
    return NoticeAnswer::Ok;
}

NoticeAnswer CliNoticeBox::ask(const std::string& text) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!question_.empty() && text == question_)
            return answer_;
    }
    // A question the command line has no answer for is declined: it asks
    // its own questions where it can read the answer.
    printError(text);
    return NoticeAnswer::Cancel;
}

void CliNoticeBox::answerSilently(const std::string& question, NoticeAnswer answer) {
    std::lock_guard<std::mutex> guard(mutex_);
    question_ = question;
    answer_ = answer;
}

CliNoticeBox* cliNoticeBox() {
    return installed.get();
}

void installCliNoticeBox() {
    installed = std::make_shared<CliNoticeBox>();
    installNoticeBox(installed);
}

}  // namespace parvola::cli
