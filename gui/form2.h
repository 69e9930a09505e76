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

#include "core/patterns.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace duolink {

class ConsoleView;
class Dialogs;
class LiveDisplay;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

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
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QLineEdit* Edit7;
    QLineEdit* Edit8;
    QLineEdit* Edit9;
    QLineEdit* Edit10;
    QLineEdit* Edit11;
    QLineEdit* Edit12;
    QLineEdit* Edit13;
    QLineEdit* Edit14;
    QLineEdit* Edit15;
    QLineEdit* Edit16;
    QLineEdit* Edit17;
    QLineEdit* Edit18;

    // Asks a running Solve to stop after the presentation it is in (Esc).
    // Enabled only during a run; every other action is disabled then.
    QAction* stopAction;

    // Start-up: hands the pane, the R2 field and the bar to the engine side,
    // prints the welcome line and fills the fields. Run by the constructor.
    void FormCreate();

    void Button1Click();  // Add
    void Button2Click();  // Delete
    void Button3Click();  // Update
    void Button4Click();  // Next
    void Button5Click();  // Previous
    void Button6Click();  // Solve
    void Button7Click();  // Predict
    void Button8Click();  // Exit
    void Button9Click();  // Reset
    void Button10Click(); // Save Matrix
    void Button11Click(); // Load Matrix

    // The single-instance check that Solve, Predict, Save and Load run first.
    bool checkInstanceValid();
    // The sixteen data fields as an A and a B vector with their parity elements.
    void readPatternEdits(TPatternVector& a, TPatternVector& b) const;
    // Shows the pair stored at `position` in the sixteen data fields.
    void showPattern(int position);
    // Shows elements 1..8 of `b` in the B fields.
    void UpdateB(const TPatternVector& b);

    // The dialogs the commands open; nullptr restores the real ones.
    void setDialogs(Dialogs* dialogs);
    Dialogs& dialogs() const;

    // The filter the matrix file dialogs show.
    static const QString& matrixFileFilter();

    // Runs the work of one command: a failure ends it with the failure's
    // message box, and afterwards the pane, the bar and the R2 field show
    // their final state. Does nothing while a Solve runs.
    void runCommand(const std::function<void()>& body);

    // True from runStarted() to runFinished(): a Solve is training on a
    // worker thread, the window paints and moves, but only Stop and closing
    // the window act.
    bool isRunning() const { return running_; }
    // Whether the window may close now. During a run it asks whether to stop
    // the run and exit; on yes it stops the run and closes the window once the
    // run has ended, and says no for now.
    bool confirmClose();

signals:
    void runStarted();
    void runFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setEditText(QLineEdit* edit, const std::string& text);
    // Asks for a matrix file; on cancel shows the no-file notice and gives nothing.
    std::optional<QString> chooseMatrixFile(bool forSave);
    void buildControls();
    void buildActions();
    // Enters or leaves the run state: actions, input, the signals.
    void setRunning(bool running);

    std::array<QLineEdit*, 8> aFields_{};
    std::array<QLineEdit*, 8> bFields_{};
    std::unique_ptr<LiveDisplay> live_;
    Dialogs* dialogs_ = nullptr;
    QString lastOpenName_;
    QString lastSaveName_;
    bool running_ = false;
    bool closeAfterRun_ = false;
    QList<QPointer<QAction>> disabledForRun_;
};

} // namespace duolink
