// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The checks every save the user names in the window makes before it writes,
// and the one way the window replaces a file.
#include <QString>

#include <functional>
#include <string_view>

class QWidget;

namespace duolink {

class Dialogs;

// Whether the save may go on. A target that exists but is not a regular file
// (a folder, a device, a FIFO, a socket) is refused with a message that names
// it; an existing file is replaced only when the user says yes.
bool mayReplace(QWidget* parent, Dialogs& dialogs, const QString& path);

// Replaces the file at `path` as a whole with what `write` hands over, a
// piece at a time (`write` returns false to give up). Returns "" or the
// reason it failed, in the system's words.
QString replaceFileWith(const QString& path, const std::function<bool(const std::function<bool(std::string_view)>&)>& write);
QString replaceFileWith(const QString& path, std::string_view data);

// `name`, with `.suffix` added when it has no suffix of its own.
QString withSuffix(const QString& name, const char* suffix);

} // namespace duolink
