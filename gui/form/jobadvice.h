// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What to fix when a job ends on an error in its input. The report keeps its
// own line for it; the window's message box adds this, in terms of the files
// the user has.
#include <QString>

#include <string_view>

namespace duolink {

// `reason` is the report's line before "Terminating Program"; `folder` the
// working folder and `aLength` the A Len the job read. Empty when there is
// nothing to add.
QString jobAdvice(std::string_view reason, const QString& folder, int aLength);

} // namespace duolink
