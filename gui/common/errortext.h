// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the window's error box for a command that failed.
#include <QString>

namespace duolink {

struct Outcome;

// The standard message with where it happened: "adata200.dat: File access
// denied" for a file, "Predict: Floating point overflow" for a command step.
// A file that could not be found because its folder is missing gives "Save
// Matrix: the folder /x/y does not exist". An arithmetic error raised while
// the training presented its pairs adds a hint about BETA. A file named
// without a folder lies in `folder` (the working folder).
QString commandErrorText(const Outcome& failure, const QString& step, const QString& folder = {});

// The one wording for a file that could not be used: "FILE: what happened
// (the system's reason)", as in "new.csv: not saved (Permission denied)".
QString fileErrorText(const QString& file, const QString& what, const QString& reason);

} // namespace duolink
