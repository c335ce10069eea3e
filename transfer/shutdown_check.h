#pragma once
// The last step of every upload, download and resume worker: when the user
// asked to shut down once the transfers are done and the task list is empty
// (cancelled records count until they leave it), the machine is switched off
// through the injectable shutdown routine (platform/system_hooks.h).
#include "transfer/task_list.h"

namespace parvola {

// True when the shutdown routine was run.
bool runShutdownCheck(TaskList& list = taskList());

}  // namespace parvola
