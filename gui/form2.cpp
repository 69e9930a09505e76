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

#include "core/support/console.h"
#include "core/engine/state.h"
#include "core/engine/stop.h"
#include "gui/backgroundrun.h"
#include "gui/consoleview.h"
#include "gui/dialogs.h"
#include "gui/errortext.h"
#include "gui/fieldmarks.h"
#include "gui/fieldtext.h"
#include "gui/filefilter.h"
#include "core/support/numtext.h"
#include "gui/qtsinks.h"
#include "gui/trainingwindow.h"
#include "gui/windowplacement.h"
#include "core/engine/observer.h"
#include "core/stats/recorder.h"
#include "core/support/errors.h"
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

TForm2::TForm2(QWidget* parent)
    : QWidget(parent), session_(std::make_unique<Session>()), engine_(&session_->engine()), list_(session_->patterns())
{
    session_->setFolder(QDir::currentPath().toStdString());
    ownDialogs_ = makeQtDialogs([this] { return workingFolder(); });
    buildControls();
    live_ = std::make_unique<LiveDisplay>(Memo1, Edit2, ProgressBar1);
    recorder_ = std::make_unique<TrainingRecorder>(*engine_);
    engine_->trainingObserver = recorder_.get();
    FormCreate();
}

TForm2::~TForm2()
{
    if (running_)
        qApp->removeEventFilter(this);
    delete trainingWindow_;
}

QString TForm2::workingFolder() const
{
    return QString::fromStdString(engine_->jobFolder.string());
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

    QLineEdit** fields[16] = {&Edit3,  &Edit4,  &Edit5,  &Edit6,  &Edit7,  &Edit8,  &Edit9,  &Edit10,
                              &Edit11, &Edit12, &Edit13, &Edit14, &Edit15, &Edit16, &Edit17, &Edit18};
    for (int k = 0; k < 16; ++k) {
        const int row = k % 8;
        const int x = k < 8 ? kColumnA : kColumnB;
        *fields[k] = field(QStringLiteral("Edit%1").arg(k + 3), x, kFirstRow + row * kRowPitch, kFieldWidth);
        (k < 8 ? aFields_ : bFields_)[row] = *fields[k];
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

    noticeEnd_ = new QTimer(this);
    noticeEnd_->setObjectName(QStringLiteral("noticeEnd"));
    noticeEnd_->setSingleShot(true);
    connect(noticeEnd_, &QTimer::timeout, this, &TForm2::showListPosition);
    // Any later status text replaces the notice, and the position with it.
    connect(this, &TForm2::statusMessage, noticeEnd_, &QTimer::stop);

    connect(Button1, &QPushButton::clicked, this, &TForm2::addPair);
    connect(Button2, &QPushButton::clicked, this, &TForm2::deletePair);
    connect(Button3, &QPushButton::clicked, this, &TForm2::updatePair);
    connect(Button4, &QPushButton::clicked, this, &TForm2::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm2::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm2::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TForm2::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TForm2::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TForm2::resetList);
    connect(Button10, &QPushButton::clicked, this, &TForm2::Button10Click);
    connect(Button11, &QPushButton::clicked, this, &TForm2::Button11Click);

    setUpKeyboard();
    createActions();
    setUpHistory();
    // The commands answer in every window of the program (Esc stops a run
    // from the training window too), but for the pane's Copy and Select All
    // and the list steps, whose keys the other windows use themselves.
    for (QAction* action : actions())
        if (action != copyAction && action != selectAllAction && action != nextPairAction &&
            action != previousPairAction)
            action->setShortcutContext(Qt::ApplicationShortcut);
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
    Console& console = engine_->console;
    console.consolePane = live_->paneSink();
    console.r2Edit = live_->r2Sink();
    console.writeLn(kWelcomeLine);
    setEditText(Edit1, intText(list_.patternCount));
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
    if (running_)
        return;
    presentOutcome(session_->run(step.toStdString(), body), step);
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
        const QString advice = jobAdvice(outcome.reason, workingFolder(), engine_->aLen);
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
        setEditText(aFields_[i], realText(list_.aPatterns[position][i + 1]));
        setEditText(bFields_[i], realText(list_.bPatterns[position][i + 1]));
    }
}

void TForm2::UpdateB(const TPatternVector& b)
{
    for (size_t i = 0; i < 8; ++i)
        setEditText(bFields_[i], realText(b[i + 1]));
}

// --- List commands ----------------------------------------------------------------

namespace {

QString pairsText(int count)
{
    return count == 1 ? QStringLiteral("1 pair") : QStringLiteral("%1 pairs").arg(count);
}

QString pastTheEndText(int position, int patternCount)
{
    return QStringLiteral("Position %1 is past the end of the list (%2)").arg(position).arg(pairsText(patternCount));
}

} // namespace

void TForm2::showListPosition()
{
    emit statusMessage(QStringLiteral("Pair %1 of %2").arg(list_.currentIndex).arg(list_.patternCount), 0);
}

void TForm2::showListNotice(const QString& text)
{
    // The lasting position first, so that it is current under the notice.
    showListPosition();
    emit statusMessage(text, kNoticeMs);
    noticeEnd_->start(kNoticeMs);
}

// Why Update or Delete cannot act on the current position.
QString TForm2::refusalText(const QString& command) const
{
    if (list_.patternCount == 0)
        return command + QStringLiteral(": the list is empty");
    return command + QStringLiteral(": position %1 is past the end of the list (%2)")
                         .arg(list_.currentIndex)
                         .arg(pairsText(list_.patternCount));
}

void TForm2::Button1Click()
{
    TPatternVector a, b;
    readPatternEdits(a, b);
    if (!list_.listAdd(a, b)) {
        showListNotice(QStringLiteral("The list is full (%1)").arg(pairsText(kPatternCapacity)));
        return;
    }
    setEditText(Edit1, intText(list_.patternCount));
    showListPosition();
    emit patternListChanged();
}

void TForm2::Button2Click()
{
    if (!list_.listDelete()) {
        showListNotice(refusalText(QStringLiteral("Delete")));
        return;
    }
    setEditText(Edit1, intText(list_.currentIndex));
    if (list_.currentIndex >= 1)
        showPattern(list_.currentIndex);
    showListPosition();
    emit patternListChanged();
}

void TForm2::Button3Click()
{
    if (list_.currentIndex < 1 || list_.currentIndex > list_.patternCount) {
        showListNotice(refusalText(QStringLiteral("Update")));
        return;
    }
    TPatternVector a, b;
    readPatternEdits(a, b);
    list_.listUpdate(a, b);
    showListPosition();
    emit patternListChanged();
}

void TForm2::Button4Click()
{
    if (!list_.listNext()) {
        showListNotice(list_.currentIndex == 0 ? QStringLiteral("Next: the list is empty")
                                         : QStringLiteral("Next: %1 is the last position").arg(kPatternCapacity));
        return;
    }
    showBrowsedPair();
}

void TForm2::Button5Click()
{
    if (!list_.listPrevious()) {
        showListNotice(list_.currentIndex == 0 ? QStringLiteral("Previous: the list is empty")
                                         : QStringLiteral("Previous: this is the first position"));
        return;
    }
    showBrowsedPair();
}

// After a step through the list: the index, the pair and the status text.
void TForm2::showBrowsedPair()
{
    setEditText(Edit1, intText(list_.currentIndex));
    showPattern(list_.currentIndex);
    // What the fields show past the end is left over or zero, not part of the list.
    if (list_.currentIndex > list_.patternCount)
        showListNotice(pastTheEndText(list_.currentIndex, list_.patternCount));
    else
        showListPosition();
    emit patternListChanged();
}

void TForm2::Button9Click()
{
    list_.listReset();
    setEditText(Edit1, intText(0));
    setEditText(Edit2, realText(0.0));
    showListPosition();
    emit patternListChanged();
}

// --- Run commands -----------------------------------------------------------------

bool TForm2::checkInstanceValid()
{
    return checkInstances(this, dialogs(), processSource_ ? *processSource_ : systemProcesses());
}

void TForm2::Button6Click()
{
    if (!checkInstanceValid())
        return;
    if (running_)
        return;
    // The folder stays locked until the run has ended, so no other run (the
    // runner or another window) writes the same job files meanwhile.
    const Outcome outcome = session_->solve([this](const std::function<void()>& work) {
        setRunning(true);
        struct LeaveRun {
            TForm2* form;
            ~LeaveRun() { form->setRunning(false); }
        } leave{this};
        runInBackground(*engine_, *live_, work);
    });
    presentOutcome(outcome, QStringLiteral("Solve"));
    if (outcome.status == Outcome::Status::FolderInUse)
        return;
    emit workingFolderChanged(); // the folder's files are new
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        window()->close();
    }
}

// --- Run state ------------------------------------------------------------------------

void TForm2::setRunning(bool running)
{
    if (running == running_)
        return;
    running_ = running;
    if (running) {
        for (QAction* action : actions()) {
            if (action != stopAction && action != showTrainingAction && action->isEnabled()) {
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
    updateStopAction();
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
    if (!running_ || !watched->isWidgetType())
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
    if (!running_)
        return confirmDiscardList();
    if (!dialogs().question(this, QString::fromLatin1(kStopAndExitQuestion)))
        return false;
    engine_->requestStop();
    closeAfterRun_ = true;
    return false;
}

void TForm2::Button7Click()
{
    if (!checkInstanceValid())
        return;
    if (running_)
        return;
    TPatternVector a, b;
    readPatternEdits(a, b);
    const Outcome outcome = session_->predict(a, b);
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
        if (!running_)
            presentOutcome(session_->saveMatrix(QFile::encodeName(*name).toStdString()), QStringLiteral("Save Matrix"));
}

void TForm2::Button11Click()
{
    if (!checkInstanceValid())
        return;
    if (const std::optional<QString> name = chooseMatrixFile(false))
        if (!running_)
            presentOutcome(session_->loadMatrix(QFile::encodeName(*name).toStdString()), QStringLiteral("Load Matrix"));
}

// --- Training window ----------------------------------------------------------------

void TForm2::showTraining()
{
    if (!trainingWindow_) {
        trainingWindow_ = new TrainingWindow(*recorder_, [this]() -> Dialogs& { return dialogs(); }, this);
        // Beside the main window, not over it, and on the screen.
        placeAuxiliaryWindow(trainingWindow_, this, QStringLiteral("training"));
        // The training window's Stop is the training's alone.
        QPushButton* stop = trainingWindow_->addStopButton();
        stop->setEnabled(running_);
        connect(stop, &QPushButton::clicked, this, [this] {
            if (running_)
                engine_->requestStop();
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
