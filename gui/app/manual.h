// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's manual: found where the program was installed, or in the build
// or source tree it runs from, and shown in the desktop's browser.
#include <QString>
#include <QStringList>

namespace duolink {

// The places the manual may be, most likely first, for a program whose
// executable lies in `programDir`.
QStringList manualCandidates(const QString& programDir);

// The first of manualCandidates(programDir) that exists; empty when none does.
QString findManual(const QString& programDir);

} // namespace duolink
