// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: pattern entry, the list and run commands, the console pane.
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "core/patterns/patterns.h"
#include "pane/paneprogress.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace duolink {

class AnalysisWindow;
class ConsoleView;
class Dialogs;
class EngineState;
class FieldMarks;
class HelpWindow;
class ListController;
class RunController;
class ProcessSource;
class Session;
struct Outcome;
class FullTextTips;
class ListHistory;
class LiveDisplay;
class PatternListWindow;
class OtherShapeNote;
class TrainingRecorder;
class TrainingWindow;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // The list commands and the run, each owned by its controller; the form
    // shows what they did.
    ListController* lists() const { return lists_; }
    RunController* runs() const { return runs_; }

    // The window's engine and its pattern list. During a run the engine
    // belongs to the worker thread.
    EngineState& engine() const;
    PatternList& patternList() const;
    Session& session() const;
    // The folder Solve, the parameters file and the report use (absolute).
    QString workingFolder() const;

    // Start-up: hands the pane, the R2 field and the bar to the engine side,
    // prints the welcome line and fills the fields. Run by the constructor.
    void FormCreate();

    void Button1Click();  // Add
    void Button2Click();  // Delete
    void Button3Click();  // Update
    void Button4Click();  // Next
    void Button5Click();  // Previous
    void Button6Click();  // Solve: starts the run, which ends later
    void Button7Click();  // Predict
    void Button8Click();  // Exit
    void Button9Click();  // Reset
    void Button10Click(); // Save Matrix
    void Button11Click(); // Load Matrix

    // The single-instance check that Solve, Predict, Save and Load run first.
    bool checkInstanceValid();
    // Where that check lists the running processes; nullptr restores the
    // system's list.
    void setProcessSource(ProcessSource* source) { processSource_ = source; }
    // The sixteen data fields as an A and a B vector with their parity elements.
    void readPatternEdits(TPatternVector& a, TPatternVector& b) const;
    // Shows the pair stored at `position` in the sixteen data fields.
    void showPattern(int position);
    // Shows elements 1..8 of `b` in the B fields.
    void UpdateB(const TPatternVector& b);

    // The dialogs the commands open; nullptr restores the real ones.
    void setDialogs(Dialogs* dialogs);
    Dialogs& dialogs() const;
    // When saving or copying the pane shows its progress and when a copy
    // asks first (tests make them small).
    void setPaneLimits(const PaneLimits& limits) { paneLimits_ = limits; }

    // The actions that stay as they are during a run: Stop, enabled while a
    // training or an analysis runs, and the training view (app/formactions.h
    // registers them).
    void setRunActions(QAction* stop, QAction* showTraining);
    // Stops the training and the analyses that run (Esc, from any window).
    void stopRuns();

    // Shows the training window, made on first use.
    void showTraining();
    // The training window once it exists, else nullptr.
    TrainingWindow* trainingWindow() const { return trainingWindow_; }
    // What the engine reports of the current or last training.
    const TrainingRecorder& recorder() const { return *recorder_; }

    // The Analysis window (form2_analysis.cpp), made on first use; its
    // analyses work on copies of the matrix and the list.
    void showAnalysis();
    // Shows the Analysis window's Recall tab and fills it.
    void testAllPairs();
    AnalysisWindow* analysisWindow() const { return analysisWindow_; }
    // The whole matrix exactly, as CSV with its sidecar (form2_matrixexport.cpp).
    void exportMatrix();
    void importMatrix();

    // The filter the matrix file dialogs show.
    static const QString& matrixFileFilter();

    // Shows the list window (made on first use).
    void showPatternList();
    PatternListWindow* patternListWindow() const { return patternListWindow_; }
    // The marks on data fields that are not read whole, and their note.
    FieldMarks* fieldMarks() const { return fieldMarks_; }
    // Asks for a folder and makes it the working folder.
    void openWorkingFolder();
    // Makes `path` the folder that Solve, the parameters file and the report
    // use. A folder that cannot be entered is reported and changes nothing.
    bool setWorkingFolder(const QString& path);
    // Asks for a file name and writes the whole pane there as UTF-8 text.
    void saveOutputAs();
    // Writes the pane to `path` atomically; on failure the error box says why.
    bool saveOutput(const QString& path);
    // Copies the pane's selection; a big one shows its progress, and one of
    // more than about 100 MB asks first (pane/paneprogress.h).
    void copyPane();
    // Shows the user's manual in the help window (made on first use), at the
    // heading whose anchor is `section` when one is given.
    void showManual(const QString& section = QString());
    HelpWindow* helpWindow() const { return helpWindow_; }
    // Opens the settings dialog on the working folder's parameters file (the
    // example values when there is none). Does nothing during a run.
    void showSettings();
    // The About box (not modal to the program; it closes itself).
    void showAbout();

    // The designed size: the default and the smallest.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Runs the work of one command: a failure ends it with the failure's
    // message box, which names the file or else the command `step` it
    // happened in, and afterwards the pane, the bar and the R2 field show
    // their final state. Does nothing while a Solve runs.
    void runCommand(const std::function<void()>& body, const QString& step = QString());

    // How long a notice stays in the status bar.
    static constexpr int kNoticeMs = 4000;
    // Emits "Pair i of n" (position and length of the list), until replaced;
    // every list command does. A status bar connected later calls it once.
    void showListPosition();

    // True from runStarted() to runFinished(): a Solve is training on a
    // worker thread, the window paints and moves, but only Stop and closing
    // the window act.
    bool isRunning() const;
    // Whether the window may close now. During a run it asks whether to stop
    // the run and exit; on yes it stops the run and closes the window once the
    // run has ended, and says no for now.
    bool confirmClose();

signals:
    // A text for the status bar, shown for timeoutMs (0: until replaced).
    void statusMessage(const QString& text, int timeoutMs);

    // After a command that changed the list or the current position.
    void patternListChanged();

    // The working folder changed, or a Solve may have changed what it holds.
    void workingFolderChanged();

    // A Solve began training on its worker thread, or handed everything back.
    void runStarted();
    void runFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows how a command ended: an error box, the terminated-job notice or
    // nothing; the pane, the bar and the R2 field show their final state.
    void presentOutcome(const Outcome& outcome, const QString& step);
    void setEditText(QLineEdit* edit, const std::string& text);
    // Asks for a matrix file; on cancel shows the no-file notice and gives nothing.
    std::optional<QString> chooseMatrixFile(bool forSave);
    void buildControls();
    void connectControllers();
    // Tab order, accessible names and Return moving on to the next field.
    void setUpKeyboard();
    // Enters or leaves the run state: actions, input, the signals.
    void setRunning(bool running);
    // Stop is enabled while a training or an analysis runs.
    void updateStopAction();
    void runEnded(const Outcome& outcome);
    // Predict for a list of another shape (form2_shapedpredict.cpp).
    void predictFromListRow();
    // During a run: whether `event` is input to the form, which is dropped.
    bool dropsInputDuringRun(QObject* watched, QEvent* event);

    // The controls, in tab order after the labels.
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button6;
    QPushButton* Button7;
    QPushButton* Button8;
    ConsoleView* Memo1;
    QPushButton* Button9;
    QProgressBar* ProgressBar1;
    QPushButton* Button10;
    QPushButton* Button11;
    // Edit3..Edit10 and Edit11..Edit18.
    std::array<QLineEdit*, 8> aFields_{};
    std::array<QLineEdit*, 8> bFields_{};
    // Shown instead of the fields' use while the list is of another shape.
    OtherShapeNote* otherShapeNote_ = nullptr;

    std::unique_ptr<LiveDisplay> live_;
    RunController* runs_ = nullptr;
    ListController* lists_ = nullptr;
    FullTextTips* fieldTips_ = nullptr;
    FieldMarks* fieldMarks_ = nullptr;
    // Plugged into the engine for the whole life of the window, so that the
    // training window can show a run even when it is opened afterwards.
    std::unique_ptr<TrainingRecorder> recorder_;
    TrainingWindow* trainingWindow_ = nullptr;
    AnalysisWindow* analysisWindow_ = nullptr;
    HelpWindow* helpWindow_ = nullptr;
    Dialogs* dialogs_ = nullptr;
    std::unique_ptr<Dialogs> ownDialogs_;
    ProcessSource* processSource_ = nullptr;
    QString lastOpenName_;
    QString lastSaveName_;
    PatternListWindow* patternListWindow_ = nullptr;
    QString lastOutputName_;
    QString lastExportName_;
    PaneLimits paneLimits_;
    QAction* stopAction_ = nullptr;
    QAction* showTrainingAction_ = nullptr;
    bool closeAfterRun_ = false;
    QList<QPointer<QAction>> disabledForRun_;
};

} // namespace duolink
