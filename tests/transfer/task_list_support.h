#pragma once
// Helpers shared by the task-list tests: a listener that mirrors the rows
// from the change events alone, and a task maker.
#include <string>
#include <vector>

#include "transfer/task_list.h"

namespace parvola::test {

// Applies every row event to its own copy of the rows, so a test can compare
// what a view built from the events with what the list holds.
class MirrorListener : public TaskListListener {
  public:
    void rowAdded(int row, const TaskRowTexts& texts) override {
        events.push_back("add " + std::to_string(row));
        rows.insert(rows.begin() + row, texts);
    }
    void rowRemoved(int row) override {
        events.push_back("remove " + std::to_string(row));
        rows.erase(rows.begin() + row);
    }
    void progressTextChanged(int row, const std::string& text) override {
        events.push_back("progress " + std::to_string(row) + " " + text);
        rows.at(static_cast<size_t>(row)).progress = text;
    }
    void speedTextChanged(int row, const std::string& text) override {
        events.push_back("speed " + std::to_string(row) + " " + text);
        rows.at(static_cast<size_t>(row)).speed = text;
    }
    void rowsRebuilt(const std::vector<TaskRowTexts>& all) override {
        events.push_back("rebuild " + std::to_string(all.size()));
        rows = all;
    }

    std::vector<std::string> events;
    std::vector<TaskRowTexts> rows;
};

inline TransferTask makeTask(const std::string& user, const std::string& fileName, int fileId,
                             long long fileSize = 30000000, long long pieceSize = 10485760,
                             long long startTime = 1256450000) {
    TransferTask task;
    task.user = user;
    task.direction = TransferDirection::Upload;
    task.fileName = fileName;
    task.localPath = "/home/u/" + fileName;
    task.fileSize = fileSize;
    task.catalogFolder = "我的文档";
    task.startTime = startTime;
    task.pieceSize = pieceSize;
    task.fileId = fileId;
    task.subject = "PARVOL:;" + fileName + ";" + std::to_string(fileId) + ";1256449000;" +
                   std::to_string(pieceSize) + ";0000000000;3;1";
    return task;
}

}  // namespace parvola::test
