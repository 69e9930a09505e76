// SPDX-License-Identifier: GPL-3.0-or-later
#include "form/form2.h"
#include "app/formactions.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <string>
#include <utility>

#include "core/support/console.h"
#include "core/engine/state.h"
#include "controllers/listcontroller.h"
#include "form/othershapenote.h"
#include "controllers/runcontroller.h"
#include "pane/consoleview.h"
#include "common/dialogs.h"
#include "common/errortext.h"
#include "form/fieldtext.h"
#include "common/filefilter.h"
#include "core/support/numtext.h"
#include "pane/livedisplay.h"
#include "training/trainingwindow.h"
#include "app/windowplacement.h"
#include "core/stats/recorder.h"
#include "app/guard.h"
#include "form/jobadvice.h"
#include "common/savetarget.h"
#include "core/session/session.h"

namespace duolink {
namespace {

constexpr const char* kWelcomeLine = "Welcome to Morvath Duolink 100";
constexpr const char* kJobTerminatedNotice =
    "The job was terminated because of an error in its input. "
    "See the report file vld33res.txt for details.";

} // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent)
{
    ownDialogs_ = makeQtDialogs([this] { return workingFolder(); });
    buildControls();
    live_ = std::make_unique<LiveDisplay>(Memo1, Edit2, ProgressBar1);
    runs_ = new RunController(*live_, this);
    session().setFolder(QDir::currentPath().toStdString());
    lists_ = new ListController(session(), [this]() -> Dialogs& { return dialogs(); }, this);
    recorder_ = std::make_unique<TrainingRecorder>(engine());
    engine().setTrainingObserver(recorder_.get());
    connectControllers();
    setUpKeyboard();
    FormCreate();
}

TForm2::~TForm2()
{
    if (isRunning())
        qApp->removeEventFilter(this);
    // The windows that show the list and the engine go first, then the run
    // (stopped and waited for), which owns the list and the engine.
    delete trainingWindow_;
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    delete lists_;
    delete runs_;
}

EngineState& TForm2::engine() const
{
    return runs_->engine();
}

PatternList& TForm2::patternList() const
{
    return lists_->list();
}

Session& TForm2::session() const
{
    return runs_->session();
}

bool TForm2::isRunning() const
{
    return runs_->isRunning();
}

QString TForm2::workingFolder() const
{
    return QString::fromStdString(engine().state().jobFolder.string());
}


void TForm2::FormCreate()
{
    Console& console = engine().consoleChannel();
    console.consolePane = live_->paneSink();
    console.r2Edit = live_->r2Sink();
    console.writeLn(kWelcomeLine);
    setEditText(Edit1, intText(patternList().patternCount));
    console.r2Edit->setText(realText(0.0));
    console.runProgressBar = live_->barSink();
    for (QLineEdit* edit : aFields_)
        showFieldText(edit, QString::fromLatin1(Session::kStartFieldText.data(), Session::kStartFieldText.size()));
    for (QLineEdit* edit : bFields_)
        showFieldText(edit, QString::fromLatin1(Session::kStartFieldText.data(), Session::kStartFieldText.size()));
    live_->flush();
}

void TForm2::setEditText(QLineEdit* edit, const std::string& text)
{
    showFieldText(edit, QString::fromStdString(text));
}

void TForm2::runCommand(const std::function<void()>& body, const QString& step)
{
    // The engine belongs to the run until it ends, whoever calls.
    if (isRunning())
        return;
    presentOutcome(session().run(step.toStdString(), body), step);
}

void TForm2::presentOutcome(const Outcome& outcome, const QString& step)
{
    live_->flush();
    switch (outcome.status) {
    case Outcome::Status::Done: return;
    case Outcome::Status::FolderInUse:
        dialogs().errorBox(this, QString::fromStdString(outcome.message));
        return;
    case Outcome::Status::Terminated: {
        // The report says what went wrong; the box adds what to fix.
        const QString advice = jobAdvice(outcome.reason, workingFolder(), engine().state().aLen);
        dialogs().messageBox(this, QString::fromLatin1(kJobTerminatedNotice) +
                                       (advice.isEmpty() ? QString() : QStringLiteral("\n\n") + advice));
        return;
    }
    case Outcome::Status::Failed:
        dialogs().errorBox(this, commandErrorText(outcome, step, workingFolder()));
        return;
    }
}

// --- Pattern fields -------------------------------------------------------------

void TForm2::readPatternEdits(TPatternVector& a, TPatternVector& b) const
{
    const auto read = [](const std::array<QLineEdit*, 8>& fields) {
        std::array<std::string, 8> texts;
        std::array<std::string_view, 8> views;
        for (size_t i = 0; i < 8; ++i) {
            texts[i] = fields[i]->text().toStdString();
            views[i] = texts[i];
        }
        return vectorFromTexts(views);
    };
    a = read(aFields_);
    b = read(bFields_);
}

void TForm2::showPattern(int position)
{
    if (position < 1 || position > kPatternCapacity)
        return;
    for (size_t i = 0; i < 8; ++i) {
        setEditText(aFields_[i], realText(patternList().aPatterns[position][i + 1]));
        setEditText(bFields_[i], realText(patternList().bPatterns[position][i + 1]));
    }
}

void TForm2::UpdateB(const TPatternVector& b)
{
    for (size_t i = 0; i < 8; ++i)
        setEditText(bFields_[i], realText(b[i + 1]));
}

// --- List commands: the list controller's -----------------------------------------

void TForm2::connectControllers()
{
    connect(lists_, &ListController::indexShown, this, [this](int value) { setEditText(Edit1, intText(value)); });
    connect(lists_, &ListController::pairShown, this, &TForm2::showPattern);
    connect(lists_, &ListController::r2Cleared, this, [this] { setEditText(Edit2, realText(0.0)); });
    connect(lists_, &ListController::statusMessage, this, &TForm2::statusMessage);
    // Any later status text replaces a notice, and the position with it.
    connect(this, &TForm2::statusMessage, lists_, &ListController::endNotice);
    connect(lists_, &ListController::changed, this, &TForm2::patternListChanged);
    connect(runs_, &RunController::started, this, [this] { setRunning(true); });
    connect(runs_, &RunController::finished, this, &TForm2::runEnded);
    std::array<QLineEdit*, 16> fields{};
    std::copy(aFields_.begin(), aFields_.end(), fields.begin());
    std::copy(bFields_.begin(), bFields_.end(), fields.begin() + 8);
    otherShapeNote_ = new OtherShapeNote(lists_, fields, [this] { showPatternList(); }, this);
    // Between the data fields and the bar, where the form has room.
    otherShapeNote_->setGeometry(24, 286, 410, 26);
}

void TForm2::showListPosition()
{
    lists_->showListPosition();
}

void TForm2::Button1Click()
{
    TPatternVector a, b;
    readPatternEdits(a, b);
    lists_->add(a, b);
}

void TForm2::Button2Click()
{
    lists_->remove();
}

void TForm2::Button3Click()
{
    TPatternVector a, b;
    readPatternEdits(a, b);
    lists_->update(a, b);
}

void TForm2::Button4Click()
{
    lists_->next();
}

void TForm2::Button5Click()
{
    lists_->previous();
}

void TForm2::Button9Click()
{
    lists_->reset();
}

// --- Run commands -----------------------------------------------------------------

bool TForm2::checkInstanceValid()
{
    // When the guard ends the program, the unsaved pairs go to a recovery list.
    return checkInstances(this, dialogs(), processSource_ ? *processSource_ : systemProcesses(),
                          [this] { lists_->writeRecoveryList(workingFolder()); });
}

void TForm2::Button6Click()
{
    if (!checkInstanceValid() || isRunning())
        return;
    if (const std::optional<Outcome> refused = runs_->startSolve())
        presentOutcome(*refused, QStringLiteral("Solve"));
}

void TForm2::runEnded(const Outcome& outcome)
{
    setRunning(false);
    presentOutcome(outcome, QStringLiteral("Solve"));
    emit workingFolderChanged(); // the folder's files are new
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        window()->close();
    }
}

void TForm2::Button7Click()
{
    if (!checkInstanceValid() || isRunning())
        return;
    if (lists_->shapedList().active()) {
        predictFromListRow();
        return;
    }
    TPatternVector a, b;
    readPatternEdits(a, b);
    const Outcome outcome = runs_->predict(a, b);
    if (outcome.ok())
        UpdateB(b);
    presentOutcome(outcome, QStringLiteral("Predict"));
}

const QString& TForm2::matrixFileFilter()
{
    // "All files" finds a matrix saved under a name without the extension.
    static const QString filter = qtFileFilter(QStringLiteral("Matrix(*.vmat2)|*.vmat2|All files|*"));
    return filter;
}

std::optional<QString> TForm2::chooseMatrixFile(bool forSave)
{
    QString& last = forSave ? lastSaveName_ : lastOpenName_;
    const std::optional<QString> name = forSave ? dialogs().saveFileName(this, matrixFileFilter(), last)
                                                : dialogs().openFileName(this, matrixFileFilter(), last);
    if (!name || name->isEmpty()) {
        dialogs().inputBox(this, QStringLiteral("Please Select a File"),
                           forSave ? QStringLiteral("For Save Matrix") : QStringLiteral("For Read Matrix"), QString());
        return std::nullopt;
    }
    last = *name;
    return name;
}

void TForm2::Button10Click()
{
    if (!checkInstanceValid())
        return;
    if (const std::optional<QString> name = chooseMatrixFile(true); name && mayReplace(this, dialogs(), *name))
        if (!isRunning())
            presentOutcome(runs_->saveMatrix(QFile::encodeName(*name).toStdString()), QStringLiteral("Save Matrix"));
}

void TForm2::Button11Click()
{
    if (!checkInstanceValid())
        return;
    if (const std::optional<QString> name = chooseMatrixFile(false))
        if (!isRunning())
            presentOutcome(runs_->loadMatrix(QFile::encodeName(*name).toStdString()), QStringLiteral("Load Matrix"));
}

// --- Training window ----------------------------------------------------------------

void TForm2::showTraining()
{
    if (!trainingWindow_) {
        trainingWindow_ = new TrainingWindow(*recorder_, [this]() -> Dialogs& { return dialogs(); }, this);
        // Beside the main window, not over it, and on the screen.
        placeAuxiliaryWindow(trainingWindow_, this, QStringLiteral("training"));
        trainingWindow_->setProperty(kHelpSectionProperty, QStringLiteral("the-training-window"));
        // The training window's Stop is the training's alone.
        QPushButton* stop = trainingWindow_->addStopButton();
        stop->setEnabled(isRunning());
        connect(stop, &QPushButton::clicked, this, [this] {
            if (isRunning())
                runs_->requestStop();
        });
        connect(this, &TForm2::runStarted, stop, [stop] { stop->setEnabled(true); });
        connect(this, &TForm2::runFinished, stop, [stop] { stop->setEnabled(false); });
    }
    trainingWindow_->show();
    trainingWindow_->raise();
    trainingWindow_->activateWindow();
}

// --- Exit ---------------------------------------------------------------------------

// Ends the event loop; the program then returns 0. Text still pending in the
// console channel is dropped with it.
void TForm2::Button8Click()
{
    if (!confirmClose())
        return;
    QCoreApplication::exit(0);
}

void TForm2::closeEvent(QCloseEvent* event)
{
    if (!confirmClose()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::exit(0);
}

void TForm2::setRunActions(QAction* stop, QAction* showTraining)
{
    stopAction_ = stop;
    showTrainingAction_ = showTraining;
}

// --- Dialogs ------------------------------------------------------------------------

void TForm2::setDialogs(Dialogs* dialogs)
{
    dialogs_ = dialogs;
}

Dialogs& TForm2::dialogs() const
{
    return dialogs_ ? *dialogs_ : *ownDialogs_;
}

} // namespace duolink
