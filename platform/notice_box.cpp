#include "platform/notice_box.h"

#include <iostream>

namespace parvola {
namespace {

std::mutex boxMutex;

std::shared_ptr<NoticeBox>& currentBox() {
    static std::shared_ptr<NoticeBox> box = std::make_shared<ConsoleNoticeBox>();
    return box;
}

}  // namespace

NoticeBox& noticeBox() {
    std::lock_guard<std::mutex> guard(boxMutex);
    return *currentBox();
}

std::shared_ptr<NoticeBox> installNoticeBox(std::shared_ptr<NoticeBox> box) {
    std::lock_guard<std::mutex> guard(boxMutex);
    auto previous = currentBox();
    currentBox() = box ? std::move(box) : std::make_shared<ConsoleNoticeBox>();
    return previous;
}

namespace {

// The installed box, kept alive while it is shown even if replaced meanwhile.
std::shared_ptr<NoticeBox> boxInUse() {
    std::lock_guard<std::mutex> guard(boxMutex);
    return currentBox();
}

}  // namespace

NoticeAnswer showNotice(const std::string& text) {
    return boxInUse()->show(text);
}

NoticeAnswer askQuestion(const std::string& text) {
    return boxInUse()->ask(text);
}

std::string withNoticeDetails(const std::string& text, const std::string& details) {
    return details.empty() ? text : text + kNoticeDetailsMark + details;
}

void splitNoticeDetails(const std::string& message, std::string& text, std::string& details) {
    const size_t mark = message.find(kNoticeDetailsMark);
    if (mark == std::string::npos) {
        text = message;
        details.clear();
        return;
    }
    text = message.substr(0, mark);
    details = message.substr(mark + std::string(kNoticeDetailsMark).size());
}

NoticeAnswer ConsoleNoticeBox::show(const std::string& text) {
    static std::mutex printMutex;
    std::lock_guard<std::mutex> guard(printMutex);
    std::cerr << text << std::endl;
    return answer_;
}

NoticeAnswer RecordingNoticeBox::show(const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    messages_.push_back(text);
    return answer_;
}

NoticeAnswer RecordingNoticeBox::ask(const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    messages_.push_back(text);
    questions_.push_back(text);
    return answer_;
}

std::vector<std::string> RecordingNoticeBox::questions() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return questions_;
}

std::vector<std::string> RecordingNoticeBox::messages() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return messages_;
}

void RecordingNoticeBox::setAnswer(NoticeAnswer answer) {
    std::lock_guard<std::mutex> guard(mutex_);
    answer_ = answer;
}

ScopedRecordingNoticeBox::ScopedRecordingNoticeBox(NoticeAnswer answer)
    : box_(std::make_shared<RecordingNoticeBox>(answer)), previous_(installNoticeBox(box_)) {}

ScopedRecordingNoticeBox::~ScopedRecordingNoticeBox() {
    installNoticeBox(previous_);
}

}  // namespace parvola
