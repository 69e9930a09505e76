// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File-type filters for the file dialogs.
#include <QString>

namespace duolink {

// Converts a filter written as "Description|pattern;pattern|..." pairs into the
// file dialog's form "Description (pattern pattern);;...". The dialog takes
// the patterns from the parentheses at the end of each entry and shows the
// entry as written, so a description that already ends with its own pattern
// list in parentheses, like "Matrix(*.vmat2)", is used unchanged and shows
// exactly as written; any other description gets the list appended.
QString qtFileFilter(const QString& pairs);

} // namespace duolink
