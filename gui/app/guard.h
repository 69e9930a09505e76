// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Single-instance guard, window side.
class QWidget;

#include <functional>

#include "core/guard/processes.h"

namespace duolink {
class Dialogs;

// Creates the hidden instance window that start-up keeps.
QWidget* createInstanceWindow(QWidget* owner);

// One check: a fresh hidden instance window counts the running copies of this
// program. With fewer than two it returns true; otherwise it shows the
// one-instance notice through `dialogs` and ends the program with exit code 0.
// The copies are counted in `processes`.
// `beforeEnd`, when given, runs after the notice and before the end (it
// keeps the user's unsaved work).
bool checkInstances(QWidget* owner, Dialogs& dialogs, ProcessSource& processes = systemProcesses(),
                    const std::function<void()>& beforeEnd = {});

} // namespace duolink
