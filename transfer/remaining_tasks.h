#pragma once
// Unfinished transfers kept across a restart: the value of "RemainTask" in the
// settings file, a sequence of records with nothing between them, each
//
//   user$direction$file name$local path$start time$file size$next piece index$
//   piece size$file id$catalog folder$subject#
//
// Numbers are signed decimal. In the texts, "%", "$", "#" and line breaks are
// written as "%25", "%24", "%23", "%0D", "%0A", so that every record reads back
// whole; a record without such characters is exactly the plain text above.
// Progress, cancelled flag, thread id and speed are not kept.
#include <string>
#include <vector>

#include "app/ini_settings.h"
#include "transfer/task_list.h"
#include "transfer/transfer_task.h"

namespace parvola {

std::string escapeRecordText(const std::string& text);
// Undoes exactly the five escapes above; any other "%" stays as it is.
std::string unescapeRecordText(const std::string& text);

// One record, "#" included.
std::string formatRemainingTask(const TransferTask& task);
// Every well-formed record of a value, in order: split at "#" (text after the
// last "#" is ignored), each piece at "$"; a piece without exactly eleven
// fields is dropped. Numbers are read from their leading digits (none: 0);
// progress, cancelled and speed are 0, the thread id is the caller's.
std::vector<TransferTask> parseRemainingTasks(const std::string& value);

// Writes the records that are not cancelled, appended to the stored value
// (replace = false, the exit) or as the whole value (replace = true).
// False when the settings file could not be written.
bool saveRemainingTasks(const IniSettings& settings, const std::vector<TransferTask>& tasks,
                        bool replace);

// The records of `user` (exact, case-sensitive), in stored order; the value is
// rewritten at once with every other well-formed record, in order. Read and
// rewrite are one critical section against other threads and processes.
std::vector<TransferTask> takeRemainingTasks(const IniSettings& settings, const std::string& user);

// The exit's save: every record of the task list that is not cancelled,
// appended to those already stored. False when the file could not be written.
bool saveUnfinishedTasksAtExit(TaskList& list = taskList());

}  // namespace parvola
