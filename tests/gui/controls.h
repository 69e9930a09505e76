// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The form's controls and actions, found by their object names, for the
// tests and the benchmarks that drive the window.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <stdexcept>
#include <string>

#include "pane/consoleview.h"

namespace duolink {

#define DUOLINK_FORM_WIDGETS(X)                                                                                        \
    X(QLabel, Label1) X(QLabel, Label2) X(QLabel, Label3) X(QLabel, Label4) X(QLineEdit, Edit1) X(QLineEdit, Edit2)    \
    X(QPushButton, Button1) X(QPushButton, Button2) X(QPushButton, Button3) X(QPushButton, Button4)                    \
    X(QPushButton, Button5) X(QPushButton, Button6) X(QPushButton, Button7) X(QPushButton, Button8)                    \
    X(ConsoleView, Memo1) X(QPushButton, Button9) X(QProgressBar, ProgressBar1) X(QPushButton, Button10)               \
    X(QPushButton, Button11) X(QLineEdit, Edit3) X(QLineEdit, Edit4) X(QLineEdit, Edit5) X(QLineEdit, Edit6)           \
    X(QLineEdit, Edit7) X(QLineEdit, Edit8) X(QLineEdit, Edit9) X(QLineEdit, Edit10) X(QLineEdit, Edit11)              \
    X(QLineEdit, Edit12) X(QLineEdit, Edit13) X(QLineEdit, Edit14) X(QLineEdit, Edit15) X(QLineEdit, Edit16)           \
    X(QLineEdit, Edit17) X(QLineEdit, Edit18)

#define DUOLINK_FORM_ACTIONS(X)                                                                                        \
    X(QAction, openWorkingFolderAction) X(QAction, openPatternListAction) X(QAction, savePatternListAction)            \
    X(QAction, savePatternListAsAction)                                                                       \
    X(QAction, loadMatrixAction) X(QAction, saveMatrixAction) X(QAction, saveOutputAction) X(QAction, exitAction)       \
    X(QAction, undoAction) X(QAction, redoAction) X(QAction, copyAction) X(QAction, selectAllAction)                   \
    X(QAction, clearOutputAction) X(QAction, showPatternListAction) X(QAction, showTrainingAction)                     \
    X(QAction, showAnalysisAction) X(QAction, solveAction) X(QAction, predictAction) X(QAction, testAllPairsAction)     \
    X(QAction, stopAction) X(QAction, settingsAction) X(QAction, addPairAction) X(QAction, updatePairAction)           \
    X(QAction, deletePairAction) X(QAction, nextPairAction) X(QAction, previousPairAction) X(QAction, resetListAction) \
    X(QAction, userManualAction) X(QAction, aboutAction)

struct FormControls {
#define DUOLINK_DECLARE(Type, name) Type* name;
    DUOLINK_FORM_WIDGETS(DUOLINK_DECLARE)
    DUOLINK_FORM_ACTIONS(DUOLINK_DECLARE)
#undef DUOLINK_DECLARE

    // `form` with its actions registered (app/formactions.h).
    explicit FormControls(QWidget* form)
    {
#define DUOLINK_FIND(Type, name) name = find<Type>(form, #name);
        DUOLINK_FORM_WIDGETS(DUOLINK_FIND)
        DUOLINK_FORM_ACTIONS(DUOLINK_FIND)
#undef DUOLINK_FIND
    }

private:
    template <class T> static T* find(QWidget* form, const char* name)
    {
        T* found = form->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            throw std::logic_error(std::string("the form has no ") + name);
        return found;
    }
};

} // namespace duolink
