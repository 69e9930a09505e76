// SPDX-License-Identifier: GPL-3.0-or-later
// Times Solve in the real window on a job folder prepared by make_job_h.
// Types the job's 256 pairs into the fields, presses Solve, and prints one
// line of figures:
//   solve_s pane_bytes pane_lines peak_rss_kb repaints repaint_hz scroll_ms copy_ms
//   copied_chars start_peak_rss_kb copy10k_ms save_mb_s store_bytes solve_cpu_s
//   solve_window_cpu_s
// (start_peak_rss_kb: the peak before Solve; copy10k_ms: select 10 000 lines
// and copy them; save_mb_s: the whole pane written out by Save Output As;
// store_bytes: the memory the pane keeps its lines in, once it has settled;
// solve_cpu_s: the processor time of the Solve, less disturbed than the wall
// time by a busy machine; solve_window_cpu_s: the part of it that the
// window's own thread spent.)
// Run it with QT_QPA_PLATFORM=offscreen for headless measurements.
//   window_bench JOBDIR [--training] [--pairs FILE] [--keep-pane FILE] [--hold] [--paints]
// --training opens the training window before the Solve; --paints lists on
// standard error, for the Solve, the paints and timer events of each kind of
// widget and the processor time they took; --pairs types the
// pairs of a pattern file (.csv, as examples/patterns.csv) instead of job H's;
// --keep-pane keeps the pane as Save Output As wrote it (to compare);
// --hold keeps the windows open after the figures until they are closed
// (for screenshots).
#include <QApplication>
#include <QEventLoop>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pane/consoleview.h"
#include "common/dialogs.h"
#include "core/patterns/patternlist.h"
#include "form/form2.h"
#include "app/formactions.h"
#include "tests/gui/controls.h"

using namespace duolink;

namespace {

// Counts the paints of the widgets that follow a run, and when they happen.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(const QElapsedTimer& clock) : clock_(clock) {}
    std::vector<qint64> times;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            times.push_back(clock_.elapsed());
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& clock_;
};

// The processor time of the window's thread in the events that paint and
// in the timers, by kind of receiver, while `on`.
class EventCostApp : public QApplication {
public:
    using QApplication::QApplication;
    struct Cost {
        long count = 0;
        double seconds = 0;
    };
    std::map<std::string, Cost> costs;
    bool on = false;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (!on || (type != QEvent::Paint && type != QEvent::Timer && type != QEvent::UpdateRequest))
            return QApplication::notify(receiver, event);
        timespec t0{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
        const bool done = QApplication::notify(receiver, event);
        timespec t1{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
        std::string key = type == QEvent::Paint ? "paint " : type == QEvent::Timer ? "timer " : "update ";
        key += receiver->metaObject()->className();
        if (!receiver->objectName().isEmpty())
            key += " " + receiver->objectName().toStdString();
        if (receiver->parent())
            key += std::string(" in ") + receiver->parent()->metaObject()->className();
        Cost& c = costs[key];
        ++c.count;
        c.seconds += static_cast<double>(t1.tv_sec - t0.tv_sec) + static_cast<double>(t1.tv_nsec - t0.tv_nsec) / 1e9;
        return done;
    }
};

// Another copy running makes Solve end the program: say so instead of
// waiting for an answer nobody gives.
class NoticeToStderr : public Dialogs {
public:
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString inputBox(QWidget*, const QString& caption, const QString& prompt, const QString&) override
    {
        std::fprintf(stderr, "window_bench: %s %s\n", qPrintable(caption), qPrintable(prompt));
        return {};
    }
    bool question(QWidget*, const QString&) override { return false; }
    void messageBox(QWidget*, const QString& text) override { std::fprintf(stderr, "window_bench: %s\n", qPrintable(text)); }
    void errorBox(QWidget*, const QString& text) override { std::fprintf(stderr, "window_bench: %s\n", qPrintable(text)); }
};

long peakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The pairs of a pattern list file (.csv), typed in as a user would.
bool typePatternFile(const FormControls& ui, const char* path)
{
    QLineEdit* fields[16] = {ui.Edit3,  ui.Edit4,  ui.Edit5,  ui.Edit6,  ui.Edit7,  ui.Edit8,
                             ui.Edit9,  ui.Edit10, ui.Edit11, ui.Edit12, ui.Edit13, ui.Edit14,
                             ui.Edit15, ui.Edit16, ui.Edit17, ui.Edit18};
    PatternPairs list;
    try {
        list = readPatternListFile(path, path);
    } catch (const PatternListError&) {
        return false;
    }
    for (const PatternPair& pair : list) {
        for (int i = 0; i < 8; ++i) {
            fields[i]->setText(QString::number(pair.a[i + 1], 'g', 17));
            fields[i + 8]->setText(QString::number(pair.b[i + 1], 'g', 17));
        }
        ui.Button1->click();
    }
    return !list.empty();
}

// The pairs of job H, as make_job_h writes them.
void typePairs(const FormControls& ui)
{
    QLineEdit* a[8] = {ui.Edit3, ui.Edit4, ui.Edit5, ui.Edit6, ui.Edit7, ui.Edit8, ui.Edit9, ui.Edit10};
    QLineEdit* b[8] = {ui.Edit11, ui.Edit12, ui.Edit13, ui.Edit14,
                       ui.Edit15, ui.Edit16, ui.Edit17, ui.Edit18};
    for (int k = 1; k <= 256; ++k) {
        const int aBits = (37 * k) % 256;
        const int bBits = (91 * k + 17) % 256;
        for (int i = 0; i < 8; ++i) {
            a[i]->setText((aBits >> i) & 1 ? "1.000" : "0.000");
            b[i]->setText((bBits >> i) & 1 ? "1.000" : "0.000");
        }
        ui.Button1->click();
    }
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButtons held, Qt::KeyboardModifiers mods = {})
{
    QMouseEvent e(type, pos, w->mapToGlobal(pos), Qt::LeftButton, held, mods);
    QApplication::sendEvent(w, &e);
}

} // namespace

int main(int argc, char** argv)
{
    EventCostApp app(argc, argv);
    bool training = false;
    bool paints = false;
    bool hold = false;
    const char* pairs = nullptr;
    const char* keepPane = nullptr;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--training")
            training = true;
        else if (arg == "--hold")
            hold = true;
        else if (arg == "--paints")
            paints = true;
        else if (arg == "--pairs" && i + 1 < argc)
            pairs = argv[++i];
        else if (arg == "--keep-pane" && i + 1 < argc)
            keepPane = argv[++i];
        else
            argc = 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_bench JOBDIR [--training] [--pairs FILE] [--keep-pane FILE] [--hold] [--paints]\n");
        return 2;
    }
    const std::filesystem::path pairsPath = pairs ? std::filesystem::absolute(pairs) : std::filesystem::path();
    const std::filesystem::path keptPane = keepPane ? std::filesystem::absolute(keepPane) : std::filesystem::path();
    std::filesystem::current_path(argv[1]);

    TForm2 form;
    new FormActions(&form);
    const FormControls ui(&form);
    NoticeToStderr notices;
    form.setDialogs(&notices);
    form.show();
    if (training)
        ui.showTrainingAction->trigger();
    QApplication::processEvents();
    if (!pairs) {
        typePairs(ui);
    } else if (!typePatternFile(ui, pairsPath.c_str())) {
        std::fprintf(stderr, "window_bench: no pairs of 16 values in %s\n", pairs);
        return 2;
    }

    QElapsedTimer clock;
    PaintCounter counter(clock);
    ui.Memo1->viewport()->installEventFilter(&counter);
    ui.ProgressBar1->installEventFilter(&counter);
    ui.Edit2->installEventFilter(&counter);

    const long startRss = peakRssKb();
    clock.start();
    const double cpuBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double windowCpuBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    {
        // The run ends in the event loop, as it does for the user.
        QEventLoop run;
        QObject::connect(&form, &TForm2::runFinished, &run, &QEventLoop::quit);
        app.on = paints;
        ui.Button6->click();
        if (form.isRunning())
            run.exec();
        app.on = false;
    }
    const qint64 solveNs = clock.nsecsElapsed();
    const double solveCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
    const double windowCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - windowCpuBefore;
    const long rss = peakRssKb();
    // Update requests hold the paints of their window: listed, not added.
    for (const auto& [key, cost] : app.costs)
        std::fprintf(stderr, "%-60s %6ld %8.4f s\n", key.c_str(), cost.count, cost.seconds);

    size_t paneBytes = 0;
    const qsizetype lines = ui.Memo1->lineCount();
    for (qsizetype i = 0; i < lines; ++i)
        paneBytes += ui.Memo1->lineView(i).size() + 1;

    // Paints during the run and their rate.
    const size_t repaints = counter.times.size();
    const double seconds = solveNs / 1e9;
    const double rate = seconds > 0 ? repaints / seconds : 0;

    // After the run: scroll to a line and paint it; the median of five
    // places around the middle, so that one preempted try on a busy machine
    // does not decide. It ends on the middle line.
    QElapsedTimer after;
    QScrollBar* bar = ui.Memo1->verticalScrollBar();
    std::vector<double> scrolls;
    for (int k : {3, 5, 4, 2, 6}) {
        after.restart();
        bar->setValue(static_cast<int>(static_cast<long long>(bar->maximum()) * k / 8));
        ui.Memo1->viewport()->repaint();
        scrolls.push_back(after.nsecsElapsed() / 1e6);
    }
    bar->setValue(bar->maximum() / 2);
    std::sort(scrolls.begin(), scrolls.end());
    const double scrollMs = scrolls[scrolls.size() / 2];

    // Select a few lines with the mouse and copy them.
    after.restart();
    QWidget* vp = ui.Memo1->viewport();
    sendMouse(vp, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    sendMouse(vp, QEvent::MouseMove, QPoint(vp->width() - 5, vp->height() - 5), Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, QPoint(vp->width() - 5, vp->height() - 5), Qt::NoButton);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QApplication::sendEvent(ui.Memo1, &press);
    const QString copied = QApplication::clipboard()->text();
    const double copyMs = after.nsecsElapsed() / 1e6;

    // Ten thousand lines from the middle: click, scroll, shift-click, copy.
    const int middle = bar->maximum() / 2;
    bar->setValue(middle);
    sendMouse(vp, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::NoButton);
    after.restart();
    bar->setValue(std::min(bar->maximum(), middle + 10000));
    sendMouse(vp, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::ShiftModifier);
    sendMouse(vp, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::NoButton, Qt::ShiftModifier);
    QApplication::sendEvent(ui.Memo1, &press);
    const double copy10kMs = after.nsecsElapsed() / 1e6;

    // The whole pane written out as File > Save Output As does.
    after.restart();
    double saveMbS = 0;
    if (form.saveOutput(QStringLiteral("pane-save.txt")))
        saveMbS = paneBytes / 1e6 / (after.nsecsElapsed() / 1e9);
    if (keepPane)
        std::filesystem::rename("pane-save.txt", keptPane);
    else
        std::remove("pane-save.txt");

    // The store as the window keeps it: blocks packed since are taken in
    // by its timer.
    {
        QEventLoop settle;
        QTimer::singleShot(200, &settle, &QEventLoop::quit);
        settle.exec();
    }

    std::printf("%.4f %zu %lld %ld %zu %.1f %.2f %.2f %lld %ld %.2f %.0f %zu %.4f %.4f\n", seconds, paneBytes,
                static_cast<long long>(lines), rss, repaints, rate, scrollMs, copyMs,
                static_cast<long long>(copied.size()), startRss, copy10kMs, saveMbS, ui.Memo1->storeBytes(),
                solveCpu, windowCpu);
    if (copied.isEmpty())
        return 1;
    if (hold) {
        std::fflush(stdout);
        return QApplication::exec();
    }
    return 0;
}
