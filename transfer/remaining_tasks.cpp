#include "transfer/remaining_tasks.h"

#include <cstdlib>

#include "platform/file_lock.h"
#include "transfer/decimal_text.h"

namespace parvola {
namespace {

constexpr size_t kRecordFields = 11;

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string appendRecords(std::string value, const std::vector<TransferTask>& tasks) {
    for (const auto& task : tasks)
        if (!task.cancelled)
            value += formatRemainingTask(task);
    return value;
}

// The provider waits of saved records, under "RemainWait" beside them (the
// records themselves keep the eleven fields every version reads):
// "user$start time$file id$wait until#" for each record that waits.
struct SavedWait {
    std::string user;
    long long startTime = 0;
    int fileId = 0;
    long long until = 0;
};

std::vector<SavedWait> parseWaits(const std::string& value) {
    std::vector<SavedWait> waits;
    size_t start = 0;
    for (size_t end; (end = value.find('#', start)) != std::string::npos; start = end + 1) {
        std::vector<std::string> fields;
        const std::string record = value.substr(start, end - start);
        size_t from = 0;
        for (size_t at; (at = record.find('$', from)) != std::string::npos; from = at + 1)
            fields.push_back(record.substr(from, at - from));
        fields.push_back(record.substr(from));
        if (fields.size() != 4)
            continue;
        SavedWait wait;
        wait.user = unescapeRecordText(fields[0]);
        wait.startTime = std::atoll(fields[1].c_str());
        wait.fileId = std::atoi(fields[2].c_str());
        wait.until = std::atoll(fields[3].c_str());
        if (wait.until > 0)
            waits.push_back(std::move(wait));
    }
    return waits;
}

std::string formatWait(const std::string& user, long long startTime, int fileId, long long until) {
    return escapeRecordText(user) + "$" + std::to_string(startTime) + "$" + std::to_string(fileId) +
           "$" + std::to_string(until) + "#";
}

bool sameRecord(const SavedWait& wait, const TransferTask& task) {
    return wait.user == task.user && wait.startTime == task.startTime && wait.fileId == task.fileId;
}

}  // namespace

std::string escapeRecordText(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '%':
                escaped += "%25";
                break;
            case '$':
                escaped += "%24";
                break;
            case '#':
                escaped += "%23";
                break;
            case '\r':
                escaped += "%0D";
                break;
            case '\n':
                escaped += "%0A";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string unescapeRecordText(const std::string& text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            std::string code = text.substr(i + 1, 2);
            for (char& c : code)
                if (c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 'a' + 'A');
            char decoded = 0;
            if (code == "25")
                decoded = '%';
            else if (code == "24")
                decoded = '$';
            else if (code == "23")
                decoded = '#';
            else if (code == "0D")
                decoded = '\r';
            else if (code == "0A")
                decoded = '\n';
            if (decoded != 0) {
                plain += decoded;
                i += 2;
                continue;
            }
        }
        plain += text[i];
    }
    return plain;
}

std::string formatRemainingTask(const TransferTask& task) {
    std::string record;
    record += escapeRecordText(task.user) + "$";
    record += escapeRecordText(directionText(task.direction)) + "$";
    record += escapeRecordText(task.fileName) + "$";
    record += escapeRecordText(task.localPath) + "$";
    record += std::to_string(task.startTime) + "$";
    record += std::to_string(task.fileSize) + "$";
    record += std::to_string(task.nextPieceIndex) + "$";
    record += std::to_string(task.pieceSize) + "$";
    record += std::to_string(task.fileId) + "$";
    record += escapeRecordText(task.catalogFolder) + "$";
    record += escapeRecordText(task.subject) + "#";
    return record;
}

std::vector<TransferTask> parseRemainingTasks(const std::string& value) {
    std::vector<TransferTask> tasks;
    std::vector<std::string> pieces = splitAt(value, '#');
    pieces.pop_back();  // after the last "#": empty, or an unterminated tail
    const std::uint32_t reader = currentThreadId();
    for (const auto& piece : pieces) {
        const std::vector<std::string> f = splitAt(piece, '$');
        if (f.size() != kRecordFields)
            continue;
        TransferTask task;
        task.user = unescapeRecordText(f[0]);
        task.direction = directionFromText(unescapeRecordText(f[1]));
        task.fileName = unescapeRecordText(f[2]);
        task.localPath = unescapeRecordText(f[3]);
        task.startTime = leadingInteger(f[4]);
        task.fileSize = leadingInteger(f[5]);
        task.nextPieceIndex = leadingInt(f[6]);
        task.pieceSize = leadingInteger(f[7]);
        task.fileId = leadingInt(f[8]);
        task.catalogFolder = unescapeRecordText(f[9]);
        task.subject = unescapeRecordText(f[10]);
        task.progress = 0;
        task.cancelled = false;
        task.speed = 0;
        task.threadId = reader;
        tasks.push_back(std::move(task));
    }
    return tasks;
}

bool saveRemainingTasks(const IniSettings& settings, const std::vector<TransferTask>& tasks,
                        bool replace) {
    FileLock update(settings.updateLockPath());
    const std::string stored = replace ? std::string() : settings.readRemainTask();
    std::string waits = replace ? std::string() : settings.readRemainWait();
    bool waiting = !waits.empty();
    for (const TransferTask& task : tasks) {
        if (task.cancelled || task.waitUntil <= 0)
            continue;
        waits += formatWait(task.user, task.startTime, task.fileId, task.waitUntil);
        waiting = true;
    }
    if (waiting && !settings.writeRemainWait(waits))
        return false;
    return settings.writeRemainTask(appendRecords(stored, tasks));
}

std::vector<TransferTask> takeRemainingTasks(const IniSettings& settings, const std::string& user) {
    FileLock update(settings.updateLockPath());
    std::vector<TransferTask> taken;
    std::vector<TransferTask> kept;
    for (auto& task : parseRemainingTasks(settings.readRemainTask()))
        (task.user == user ? taken : kept).push_back(std::move(task));
    const std::string storedWaits = settings.readRemainWait();
    if (!storedWaits.empty()) {
        std::string keptWaits;
        for (const SavedWait& wait : parseWaits(storedWaits)) {
            bool mine = false;
            for (TransferTask& task : taken)
                if (sameRecord(wait, task)) {
                    task.waitUntil = wait.until;
                    mine = true;
                }
            if (!mine)
                keptWaits += formatWait(wait.user, wait.startTime, wait.fileId, wait.until);
        }
        settings.writeRemainWait(keptWaits);
    }
    settings.writeRemainTask(appendRecords(std::string(), kept));
    return taken;
}

bool saveUnfinishedTasksAtExit(TaskList& list) {
    // Copied under the tasks role; the file is written without holding it.
    const std::vector<TransferTask> tasks = list.tasks();
    return saveRemainingTasks(IniSettings(), tasks, false);
}

}  // namespace parvola
