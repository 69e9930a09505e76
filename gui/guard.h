#pragma once
// Single-instance guard, window side.
class QWidget;

namespace duolink {
class Dialogs;

// Creates the hidden instance window that start-up keeps.
QWidget* createInstanceWindow(QWidget* owner);

// One check: a fresh hidden instance window counts the running copies of this
// program. With fewer than two it returns true; otherwise it shows the
// one-instance notice through `dialogs` and ends the program with exit code 0.
bool checkInstances(QWidget* owner, Dialogs& dialogs);

} // namespace duolink
