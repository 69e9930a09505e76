#include "gui/form2.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "core/console.h"
#include "core/engine/state.h"
#include "core/engine/stop.h"
#include "gui/listcontroller.h"
#include "gui/runcontroller.h"
#include "gui/consoleview.h"
#include "gui/dialogs.h"
#include "gui/errortext.h"
#include "gui/fieldmarks.h"
#include "gui/fieldtext.h"
#include "gui/filefilter.h"
#include "core/numtext.h"
#include "gui/qtsinks.h"
#include "gui/trainingwindow.h"
#include "gui/windowplacement.h"
#include "core/observer.h"
#include "core/training/recorder.h"
#include "core/engine/errors.h"
#include "core/engine/solve.h"
#include "gui/guard.h"
#include "gui/jobadvice.h"
#include "gui/savetarget.h"
#include "core/guard/folderlock.h"
#include "core/predict/matrixfile.h"
#include "core/predict/recall.h"
#include "core/session/session.h"

namespace duolink {
namespace {

constexpr const char* kWelcomeLine = "Welcome to Morvath Duolink 100";
constexpr const char* kStopAndExitQuestion = "A training is running. Stop it and exit?";
constexpr const char* kJobTerminatedNotice =
    "The job was terminated because of an error in its input. "
    "See the report file vld33res.txt for details.";

// Layout, in pixels.
constexpr int kColumnA = 24;
constexpr int kColumnB = 104;
constexpr int kMiddle = 192;
constexpr int kMiddleRight = 280;
constexpr int kFirstRow = 40;
constexpr int kRowPitch = 32;
constexpr int kFieldWidth = 65;
constexpr int kFieldHeight = 21;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
// The form's designed size, and the pane's place in it. A bigger
// window gives all its extra width and height to the pane.
constexpr QSize kFormSize(850, 419);
constexpr QRect kPane(449, 16, 385, 353);
constexpr int kPaneRightMargin = kFormSize.width() - kPane.right() - 1;
constexpr int kPaneBottomMargin = kFormSize.height() - kPane.bottom() - 1;

QFont windowFont()
{
    QFont font;
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        font = QFont(QStringLiteral("Tahoma"));
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPointSize(8);
    return font;
}

} // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent)
{
    ownDialogs_ = makeQtDialogs([this] { return workingFolder(); });
    buildControls();
    live_ = std::make_unique<LiveDisplay>(Memo1, Edit2, ProgressBar1);
    runs_ = new RunController(*live_, this);
    session().setFolder(QDir::currentPath().toStdString());
    lists_ = new ListController(session().patterns(), [this]() -> Dialogs& { return dialogs(); }, this);
    recorder_ = std::make_unique<TrainingRecorder>(engine());
    engine().trainingObserver = recorder_.get();
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
    return QString::fromStdString(engine().jobFolder.string());
}

void TForm2::buildControls()
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("VELD Duolink 200z - pattern association"));
    setFont(windowFont());
    resize(kFormSize);
    move(0, 0);

    const auto label = [this](const char* name, const char* caption, int x, int y) {
        auto* l = new QLabel(QString::fromLatin1(caption), this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    const auto field = [this](const QString& name, int x, int y, int width) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setGeometry(x, y, width, kFieldHeight);
        return e;
    };
    const auto button = [this](const char* name, const char* caption, int x, int y) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, kButtonWidth, kButtonHeight);
        // A focused button takes Return as well as Space.
        b->setAutoDefault(true);
        return b;
    };

    Label1 = label("Label1", "A data", kColumnA, 18);
    Label2 = label("Label2", "B Data", kColumnB, 18);
    Label3 = label("Label3", "Current Idx", kMiddle, 18);
    Label4 = label("Label4", "R2 Correlation", kMiddle, 64);

    // Both are displays: the program never reads them back.
    Edit1 = field(QStringLiteral("Edit1"), kMiddle, 34, 49);
    Edit1->setReadOnly(true);
    Edit2 = field(QStringLiteral("Edit2"), kMiddle, 80, 121);
    Edit2->setReadOnly(true);

    Button1 = button("Button1", "Add", kMiddle, 120);
    Button2 = button("Button2", "Delete", kMiddleRight, 120);
    Button3 = button("Button3", "Update", kMiddle, 152);
    Button4 = button("Button4", "Next", kMiddle, 184);
    Button5 = button("Button5", "Previous", kMiddleRight, 184);
    Button6 = button("Button6", "Solve", kMiddle, 216);
    Button7 = button("Button7", "Predict", kMiddleRight, 216);
    Button8 = button("Button8", "Exit", kColumnA, 344);

    Memo1 = new ConsoleView(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(kPane);

    Button9 = button("Button9", "Reset", kMiddle, 248);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(kColumnA, 312, 217, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Button10 = button("Button10", "Save Matrix", kColumnA + 176, 344);
    Button11 = button("Button11", "Load Matrix", kColumnA + 88, 344);

    // Edit3..Edit10 hold A, Edit11..Edit18 B.
    for (int k = 0; k < 16; ++k) {
        const int row = k % 8;
        const int x = k < 8 ? kColumnA : kColumnB;
        (k < 8 ? aFields_ : bFields_)[row] =
            field(QStringLiteral("Edit%1").arg(k + 3), x, kFirstRow + row * kRowPitch, kFieldWidth);
    }

    fieldTips_ = new FullTextTips(this);
    for (QLineEdit* edit : {Edit1, Edit2})
        fieldTips_->watch(edit);
    // The data fields' tooltips also say how a field is read.
    fieldMarks_ = new FieldMarks(this);
    for (int i = 0; i < 8; ++i)
        fieldMarks_->watch(aFields_[i], QStringLiteral("A%1").arg(i + 1));
    for (int i = 0; i < 8; ++i)
        fieldMarks_->watch(bFields_[i], QStringLiteral("B%1").arg(i + 1));

    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm2::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm2::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm2::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TForm2::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TForm2::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TForm2::Button9Click);
    connect(Button10, &QPushButton::clicked, this, &TForm2::Button10Click);
    connect(Button11, &QPushButton::clicked, this, &TForm2::Button11Click);

}

QSize TForm2::sizeHint() const
{
    return kFormSize;
}

QSize TForm2::minimumSizeHint() const
{
    return kFormSize;
}

void TForm2::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Memo1->setGeometry(kPane.x(), kPane.y(), width() - kPane.x() - kPaneRightMargin,
                       height() - kPane.y() - kPaneBottomMargin);
}

void TForm2::FormCreate()
{
    Console& console = engine().console;
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
        const QString advice = jobAdvice(outcome.reason, workingFolder(), engine().aLen);
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
    return checkInstances(this, dialogs(), processSource_ ? *processSource_ : systemProcesses());
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

// --- Run state ------------------------------------------------------------------------

void TForm2::setRunning(bool running)
{
    lists_->setLocked(running);
    if (running) {
        for (QAction* action : actions()) {
            if (action != stopAction_ && action != showTrainingAction_ && action->isEnabled()) {
                action->setEnabled(false);
                disabledForRun_.append(action);
            }
        }
        qApp->installEventFilter(this);
    } else {
        qApp->removeEventFilter(this);
        for (const QPointer<QAction>& action : std::as_const(disabledForRun_))
            if (action)
                action->setEnabled(true);
        disabledForRun_.clear();
    }
    if (stopAction_)
        stopAction_->setEnabled(running);
    if (running)
        emit runStarted();
    else
        emit runFinished();
}

// During a run, input to the window's controls is dropped as it arrives, as
// the window ignored it before runs left its thread; its look stays as it is.
// Key presses still reach the shortcuts, so Esc stops the run.
bool TForm2::dropsInputDuringRun(QObject* watched, QEvent* event)
{
    if (!isRunning() || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != this && !isAncestorOf(widget))
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        event->ignore();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

bool TForm2::confirmClose()
{
    if (!isRunning())
        return lists_->confirmDiscardList();
    if (!dialogs().question(this, QString::fromLatin1(kStopAndExitQuestion)))
        return false;
    runs_->requestStop();
    closeAfterRun_ = true;
    return false;
}

void TForm2::Button7Click()
{
    if (!checkInstanceValid() || isRunning())
        return;
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
        if (stopAction_)
            trainingWindow_->addStopButton(stopAction_);
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
