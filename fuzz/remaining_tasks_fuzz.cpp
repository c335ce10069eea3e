// The "RemainTask" value of the settings file, read from any text. Each
// record read must format to a record that reads back as the same task.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transfer/remaining_tasks.h"

namespace {

bool sameRecord(const parvola::TransferTask& a, const parvola::TransferTask& b) {
    return a.user == b.user && a.direction == b.direction && a.fileName == b.fileName &&
           a.localPath == b.localPath && a.startTime == b.startTime && a.fileSize == b.fileSize &&
           a.nextPieceIndex == b.nextPieceIndex && a.pieceSize == b.pieceSize &&
           a.fileId == b.fileId && a.catalogFolder == b.catalogFolder && a.subject == b.subject;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    const std::vector<parvola::TransferTask> tasks = parvola::parseRemainingTasks(value);
    std::string all;
    for (const parvola::TransferTask& task : tasks) {
        const std::string record = parvola::formatRemainingTask(task);
        const std::vector<parvola::TransferTask> back = parvola::parseRemainingTasks(record);
        if (back.size() != 1 || !sameRecord(back[0], task))
            __builtin_trap();
        all += record;
    }
    if (parvola::parseRemainingTasks(all).size() != tasks.size())
        __builtin_trap();
    for (const std::string& text : {value, parvola::escapeRecordText(value)}) {
        if (parvola::unescapeRecordText(parvola::escapeRecordText(text)) != text)
            __builtin_trap();
    }
    return 0;
}
