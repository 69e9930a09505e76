// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/formactions.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>

#include <functional>

#include "pane/consoleview.h"
#include "common/dialogs.h"
#include "form/fieldmarks.h"
#include "form/form2.h"
#include "controllers/listcontroller.h"
#include "controllers/runcontroller.h"

namespace duolink {

FormActions::FormActions(TForm2* form) : QObject(form)
{
    ListController* lists = form->lists();
    // The object name lets tests and scripts find an action.
    const auto make = [form](const char* name, const QString& text, const QList<QKeySequence>& keys,
                             const std::function<void()>& work) {
        auto* action = new QAction(text, form);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        QObject::connect(action, &QAction::triggered, form, work);
        form->addAction(action);
        return action;
    };
    const auto key = [](QKeyCombination combination) { return QKeySequence(combination); };

    // File
    openWorkingFolder = make("openWorkingFolderAction", tr("Open &Working Folder\u2026"),
                             {key(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}, [form] { form->openWorkingFolder(); });
    openPatternList = make("openPatternListAction", tr("&Open Pattern List\u2026"), {key(Qt::CTRL | Qt::Key_O)},
                           [lists] { lists->openPatternList(); });
    savePatternList = make("savePatternListAction", tr("&Save Pattern List"), {key(Qt::CTRL | Qt::Key_S)},
                           [lists] { lists->savePatternList(); });
    savePatternList->setStatusTip(tr("Save the list to its file; the first time, ask for a name"));
    savePatternListAs = make("savePatternListAsAction", tr("Save Pattern List &As\u2026"),
                             {key(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, [lists] { lists->savePatternListAs(); });
    loadMatrix = make("loadMatrixAction", tr("&Load Matrix\u2026"), {key(Qt::CTRL | Qt::Key_L)},
                      [form] { form->Button11Click(); });
    saveMatrix = make("saveMatrixAction", tr("Save &Matrix\u2026"), {key(Qt::CTRL | Qt::Key_M)},
                      [form] { form->Button10Click(); });
    saveMatrix->setToolTip(tr("Save the 9 \u00d7 8 block rounded to two significant digits (.vmat2). "
                              "Export Matrix keeps the whole matrix exactly."));
    exportMatrix = make("exportMatrixAction", tr("&Export Matrix\u2026"), {}, [form] { form->exportMatrix(); });
    exportMatrix->setToolTip(tr("Write the whole matrix exactly as CSV, with its shape and UNITY beside it"));
    importMatrix = make("importMatrixAction", tr("&Import Matrix\u2026"), {}, [form] { form->importMatrix(); });
    importMatrix->setToolTip(tr("Read a matrix that Export Matrix wrote, bit for bit"));
    saveOutput = make("saveOutputAction", tr("Save O&utput As\u2026"), {}, [form] { form->saveOutputAs(); });
    exit = make("exitAction", tr("E&xit"), {key(Qt::CTRL | Qt::Key_Q)}, [form] { form->Button8Click(); });

    // Edit. In a field that has the focus, Ctrl+C and Ctrl+A stay the
    // field's: it takes those keys before any shortcut.
    undo = lists->createUndoAction(form);
    redo = lists->createRedoAction(form);
    form->addActions({undo, redo});
    copy = make("copyAction", tr("&Copy"), {QKeySequence(QKeySequence::Copy)}, [form] { form->copyPane(); });
    copy->setStatusTip(tr("Copy the text selected in the pane"));
    ConsoleView* pane = form->findChild<ConsoleView*>(QStringLiteral("Memo1"));
    selectAll = make("selectAllAction", tr("Select &All"), {QKeySequence(QKeySequence::SelectAll)},
                     [pane] { pane->selectAll(); });
    selectAll->setStatusTip(tr("Select all the text in the pane"));
    clearOutput = make("clearOutputAction", tr("C&lear Output"), {key(Qt::CTRL | Qt::SHIFT | Qt::Key_K)},
                       [pane] { pane->clear(); });
    clearOutput->setStatusTip(tr("Empty the text pane; no file is touched"));

    // View
    showPatternList = make("showPatternListAction", tr("Pattern &List"), {key(Qt::CTRL | Qt::SHIFT | Qt::Key_L)},
                           [form] { form->showPatternList(); });
    showTraining = make("showTrainingAction", tr("&Training"), {key(Qt::CTRL | Qt::Key_T)},
                        [form] { form->showTraining(); });
    showAnalysis = make("showAnalysisAction", tr("&Analysis"), {key(Qt::CTRL | Qt::SHIFT | Qt::Key_A)},
                        [form] { form->showAnalysis(); });

    // Run
    solve = make("solveAction", tr("&Solve"), {key(Qt::Key_F5)}, [form] { form->Button6Click(); });
    predict = make("predictAction", tr("&Predict"), {key(Qt::Key_F6)}, [form] { form->Button7Click(); });
    testAllPairs = make("testAllPairsAction", tr("&Test All Pairs"), {key(Qt::Key_F7)},
                        [form] { form->testAllPairs(); });
    testAllPairs->setStatusTip(tr("Recall every pair of the list and compare it with its B pattern"));
    stop = make("stopAction", tr("S&top"), {key(Qt::Key_Escape)}, [form] { form->stopRuns(); });
    stop->setStatusTip(tr("Stop the training after the presentation it is in, and any analysis that runs"));
    stop->setEnabled(false);
    settings = make("settingsAction", tr("Se&ttings\u2026"), {key(Qt::CTRL | Qt::Key_Comma)},
                    [form] { form->showSettings(); });
    settings->setStatusTip(tr("See and change the values of the parameters file"));

    // List
    // From the keyboard the marks on the fields are easy to miss: a pair with
    // a field not read whole is added only once the user says so.
    addPair = make("addPairAction", tr("&Add"), {key(Qt::CTRL | Qt::Key_Return), key(Qt::CTRL | Qt::Key_Enter)},
                   [form] {
                       const QString note = form->fieldMarks()->note();
                       if (!note.isEmpty() && !form->dialogs().question(form, tr("%1.\nAdd the pair as it is read?").arg(note)))
                           return;
                       form->Button1Click();
                   });
    updatePair = make("updatePairAction", tr("&Update"), {}, [form] { form->Button3Click(); });
    deletePair = make("deletePairAction", tr("&Delete"), {}, [lists] { lists->remove(); });
    nextPair = make("nextPairAction", tr("&Next"), {key(Qt::CTRL | Qt::Key_Down), key(Qt::Key_PageDown)},
                    [lists] { lists->next(); });
    previousPair = make("previousPairAction", tr("&Previous"), {key(Qt::CTRL | Qt::Key_Up), key(Qt::Key_PageUp)},
                        [lists] { lists->previous(); });
    resetList = make("resetListAction", tr("&Reset"), {}, [lists] { lists->reset(); });

    // Help
    userManual = make("userManualAction", tr("User &Manual"), {QKeySequence(QKeySequence::HelpContents)},
                      [form] {
                          // F1 in a window opens the manual at that window's chapter.
                          const QWidget* active = QApplication::activeWindow();
                          form->showManual(active ? active->property(kHelpSectionProperty).toString() : QString());
                      });
    about = make("aboutAction", tr("&About Duolink"), {}, [form] { form->showAbout(); });
    about->setMenuRole(QAction::AboutRole);

    // The commands answer in every window of the program (Esc stops a run
    // from the training window too), but for the pane's Copy and Select All
    // and the list steps, whose keys the other windows use themselves.
    for (QAction* action : form->actions())
        if (action != copy && action != selectAll && action != nextPair && action != previousPair)
            action->setShortcutContext(Qt::ApplicationShortcut);

    form->setRunActions(stop, showTraining);
}

} // namespace duolink
