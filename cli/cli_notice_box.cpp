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
    printError(text);
    return NoticeAnswer::Ok;
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
