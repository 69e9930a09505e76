// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The working folder: the window engine's job folder, where Solve reads the
// parameters file and writes the job files and the report.
#include <QString>

namespace duolink {

// Why `path` cannot be the working folder, or an empty text when it can.
QString workingFolderProblem(const QString& path);

// The status bar's rich text for the working folder `folder`: its full path,
// and a link "parameters file missing" when the parameters file is not there.
QString workingFolderStatus(const QString& folder);

} // namespace duolink
