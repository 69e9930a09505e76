// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/observer.h"

namespace duolink {

std::string_view runEndName(RunEnd end)
{
    switch (end) {
    case RunEnd::Recalled: return "recalled";
    case RunEnd::Limit: return "limit";
    case RunEnd::Stopped: return "stopped";
    case RunEnd::Terminated: return "terminated";
    case RunEnd::Error: return "error";
    }
    return "error";
}

} // namespace duolink
