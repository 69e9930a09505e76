// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hidden instance window: holds the count of running copies and its log.
#include <QWidget>

#include "core/guard/processes.h"

class QPlainTextEdit;
class QPushButton;

namespace duolink {

class Dialogs;

class TFormNumInstances : public QWidget {
    Q_OBJECT
public:
    // Created hidden. `owner` keeps the window until it is itself destroyed.
    TFormNumInstances(QWidget* owner, Dialogs& dialogs, ProcessSource& processes = systemProcesses());

    // Appends the process listing to Memo1; true when fewer than two running
    // processes carry this program's executable file name.
    bool numInstancesValid();

    QPlainTextEdit* Memo1;
    QPushButton* Button1;
    QPushButton* Button2;

public slots:
    // The listing, with a notice at each process that carries the own name.
    void Button1Click();
    // Ends the program.
    void Button2Click();

private:
    Dialogs& dialogs_;
    ProcessSource& processes_;
};

// Ends the program at once with exit code 0, output flushed.
[[noreturn]] void endProgramNow();

} // namespace duolink
