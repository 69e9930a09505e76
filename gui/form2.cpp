#include "gui/form2.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <exception>
#include <new>
#include <string>
#include <utility>

#include "core/console.h"
#include "core/engine/stop.h"
#include "gui/backgroundrun.h"
#include "gui/consoleview.h"
#include "gui/dialogs.h"
#include "gui/filefilter.h"
#include "core/numtext.h"
#include "gui/qtsinks.h"
#include "core/engine/errors.h"
#include "core/engine/solve.h"
#include "gui/guard.h"
#include "core/predict/matrixfile.h"
#include "core/predict/recall.h"

namespace duolink {
namespace {

constexpr const char* kWelcomeLine = "Welcome to Morvath Duolink 100";
constexpr const char* kStartValue = "0.001";
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
    buildControls();
    buildActions();
    live_ = std::make_unique<LiveDisplay>(Memo1, Edit2, ProgressBar1);
    FormCreate();
}

TForm2::~TForm2()
{
    if (running_)
        qApp->removeEventFilter(this);
    // The engine side must not write into a window that is gone.
    if (consolePane == live_->paneSink())
        consolePane = nullptr;
    if (r2Edit == live_->r2Sink())
        r2Edit = nullptr;
    if (runProgressBar == live_->barSink())
        runProgressBar = nullptr;
}

void TForm2::buildControls()
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("VELD Duolink 200z - pattern association"));
    setFont(windowFont());
    resize(850, 419);
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
        b->setAutoDefault(false);
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
    Memo1->setGeometry(449, 16, 385, 353);

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

    QWidget* const tabOrder[] = {Edit1,   Edit2,   Button1, Button2, Button3, Button4, Button5,
                                 Button6, Button7, Button8, Memo1,   Button9, ProgressBar1,
                                 Button10, Button11, Edit3, Edit4,  Edit5,   Edit6,   Edit7,
                                 Edit8,   Edit9,   Edit10,  Edit11,  Edit12,  Edit13,  Edit14,
                                 Edit15,  Edit16,  Edit17,  Edit18};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);

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

void TForm2::buildActions()
{
    stopAction = new QAction(tr("&Stop"), this);
    stopAction->setObjectName(QStringLiteral("stopAction"));
    stopAction->setShortcut(QKeySequence(Qt::Key_Escape));
    stopAction->setStatusTip(tr("Stop the training after the presentation it is in"));
    stopAction->setEnabled(false);
    connect(stopAction, &QAction::triggered, this, [] { requestStop(); });
    addAction(stopAction);
}

void TForm2::FormCreate()
{
    consolePane = live_->paneSink();
    r2Edit = live_->r2Sink();
    consoleWriteLn(kWelcomeLine);
    setEditText(Edit1, intText(patternCount));
    r2Edit->setText(realText(0.0));
    runProgressBar = live_->barSink();
    for (QLineEdit* edit : aFields_)
        edit->setText(QString::fromLatin1(kStartValue));
    for (QLineEdit* edit : bFields_)
        edit->setText(QString::fromLatin1(kStartValue));
    live_->flush();
}

void TForm2::setEditText(QLineEdit* edit, const std::string& text)
{
    edit->setText(QString::fromStdString(text));
}

void TForm2::runCommand(const std::function<void()>& body)
{
    // The engine belongs to the run until it ends, whoever calls.
    if (running_)
        return;
    try {
        body();
    } catch (const RunError& e) {
        live_->flush();
        dialogs().errorBox(this, QString::fromStdString(e.what()));
    } catch (const JobTerminated&) {
        live_->flush();
        dialogs().messageBox(this, QString::fromLatin1(kJobTerminatedNotice));
    } catch (const std::bad_alloc&) {
        // A file too big for the memory left: the command ends, the window
        // and what it holds stay.
        live_->flush();
        dialogs().errorBox(this, QString::fromLatin1(kOutOfMemory));
    } catch (const std::exception& e) {
        // Nothing else is expected from a command; should it happen anyway,
        // the window reports it and goes on rather than going down.
        live_->flush();
        dialogs().errorBox(this, QString::fromLocal8Bit(e.what()));
    }
    live_->flush();
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
        setEditText(aFields_[i], realText(aPatterns[position][i + 1]));
        setEditText(bFields_[i], realText(bPatterns[position][i + 1]));
    }
}

void TForm2::UpdateB(const TPatternVector& b)
{
    for (size_t i = 0; i < 8; ++i)
        setEditText(bFields_[i], realText(b[i + 1]));
}

// --- List commands ----------------------------------------------------------------

void TForm2::Button1Click()
{
    TPatternVector a, b;
    readPatternEdits(a, b);
    if (listAdd(a, b))
        setEditText(Edit1, intText(patternCount));
}

void TForm2::Button2Click()
{
    if (!listDelete())
        return;
    setEditText(Edit1, intText(currentIndex));
    if (currentIndex >= 1)
        showPattern(currentIndex);
}

void TForm2::Button3Click()
{
    if (currentIndex < 1 || currentIndex > patternCount)
        return;
    TPatternVector a, b;
    readPatternEdits(a, b);
    listUpdate(a, b);
}

void TForm2::Button4Click()
{
    if (!listNext())
        return;
    setEditText(Edit1, intText(currentIndex));
    showPattern(currentIndex);
}

void TForm2::Button5Click()
{
    if (!listPrevious())
        return;
    setEditText(Edit1, intText(currentIndex));
    showPattern(currentIndex);
}

void TForm2::Button9Click()
{
    listReset();
    setEditText(Edit1, intText(0));
    setEditText(Edit2, realText(0.0));
}

// --- Run commands -----------------------------------------------------------------

bool TForm2::checkInstanceValid()
{
    return checkInstances(this, dialogs());
}

void TForm2::Button6Click()
{
    if (!checkInstanceValid())
        return;
    runCommand([this] {
        setRunning(true);
        struct LeaveRun {
            TForm2* form;
            ~LeaveRun() { form->setRunning(false); }
        } leave{this};
        clearStopRequest();
        runInBackground(*live_, [] { solveJob(); });
    });
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
            if (action != stopAction && action->isEnabled()) {
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
    stopAction->setEnabled(running);
    if (running)
        emit runStarted();
    else
        emit runFinished();
}

// During a run, input to the window's controls is dropped as it arrives, as
// the window ignored it before runs left its thread; its look stays as it is.
// Key presses still reach the shortcuts, so Esc stops the run.
bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (!running_ || !watched->isWidgetType())
        return QWidget::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != this && !isAncestorOf(widget))
        return QWidget::eventFilter(watched, event);
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
        return QWidget::eventFilter(watched, event);
    }
}

bool TForm2::confirmClose()
{
    if (!running_)
        return true;
    if (!dialogs().question(this, QString::fromLatin1(kStopAndExitQuestion)))
        return false;
    requestStop();
    closeAfterRun_ = true;
    return false;
}

void TForm2::Button7Click()
{
    if (!checkInstanceValid())
        return;
    runCommand([this] {
        TPatternVector a, b;
        readPatternEdits(a, b);
        recallB(a, b);
        UpdateB(b);
    });
}

const QString& TForm2::matrixFileFilter()
{
    static const QString filter = qtFileFilter(QStringLiteral("Matrix(*.vmat2)|*.vmat2"));
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
    if (const std::optional<QString> name = chooseMatrixFile(true))
        runCommand([&] { saveMatrixFile(QFile::encodeName(*name).toStdString()); });
}

void TForm2::Button11Click()
{
    if (!checkInstanceValid())
        return;
    if (const std::optional<QString> name = chooseMatrixFile(false))
        runCommand([&] { loadMatrixFile(QFile::encodeName(*name).toStdString()); });
}

// --- Exit ---------------------------------------------------------------------------

// Ends the event loop; the program then returns 0. Text still pending in the
// console channel is dropped with it.
void TForm2::Button8Click()
{
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
    return dialogs_ ? *dialogs_ : qtDialogs();
}

} // namespace duolink
