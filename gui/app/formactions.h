// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's commands as actions, with their shortcuts and object names,
// created in one place by the window that lists them in its menus. Each
// action calls the object that owns its work: the form, its list controller
// or its run controller. The actions are added to the form, so that their
// shortcuts work in the whole window and a run can disable them.
#include <QObject>

class QAction;

namespace duolink {

class TForm2;

// A window's property that names its chapter of the manual (the heading's
// anchor), which Help -> User Manual opens while the window is active.
inline constexpr const char* kHelpSectionProperty = "helpSection";

class FormActions : public QObject {
    Q_OBJECT
public:
    explicit FormActions(TForm2* form);

    // File
    QAction* openWorkingFolder = nullptr;
    QAction* openPatternList = nullptr;
    QAction* savePatternList = nullptr;
    QAction* savePatternListAs = nullptr;
    QAction* loadMatrix = nullptr;
    QAction* saveMatrix = nullptr;
    QAction* exportMatrix = nullptr;
    QAction* importMatrix = nullptr;
    QAction* saveOutput = nullptr;
    QAction* exit = nullptr;
    // Edit: undo and redo of the list commands, and the pane's own commands
    // (a focused field keeps its Copy and Select All).
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* copy = nullptr;
    QAction* selectAll = nullptr;
    QAction* clearOutput = nullptr;
    // View
    QAction* showPatternList = nullptr;
    QAction* showTraining = nullptr;
    QAction* showAnalysis = nullptr;
    // Run. Stop is enabled only during a run (Esc); every other action but
    // the training view is disabled then.
    QAction* solve = nullptr;
    QAction* predict = nullptr;
    QAction* testAllPairs = nullptr;
    QAction* stop = nullptr;
    QAction* settings = nullptr;
    // List
    QAction* addPair = nullptr;
    QAction* updatePair = nullptr;
    QAction* deletePair = nullptr;
    QAction* nextPair = nullptr;
    QAction* previousPair = nullptr;
    QAction* resetList = nullptr;
    // Help
    QAction* userManual = nullptr;
    QAction* about = nullptr;
};

} // namespace duolink
