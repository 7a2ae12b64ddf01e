#include "core/port_errors.h"

namespace quenlet {

bool isTransientPortError(DWORD code) {
    switch (code) {
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT:
    case ERROR_COUNTER_TIMEOUT:
    case ERROR_OPERATION_ABORTED:
        return true;
    default:
        return false;
    }
}

}  // namespace quenlet
