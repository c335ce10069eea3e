#include "transfer/shutdown_check.h"

#include "app/process_state.h"
#include "platform/system_hooks.h"

namespace parvola {

bool runShutdownCheck(TaskList& list) {
    if (!processValues().shutdownWhenDone.load())
        return false;
    if (!list.empty())
        return false;
    shutdownSystem();
    return true;
}

}  // namespace parvola
