#include "crypto/sodium_ready.h"

#include <sodium.h>

namespace parvola {

bool sodiumReady() {
    // sodium_init is itself safe to call from several threads and answers 1
    // when it had been done already.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace parvola
