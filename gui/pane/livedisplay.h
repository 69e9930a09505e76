// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's side of the console channel: the pane, the R2 field and the
// progress bar as the engine sees them.
//
// The short commands (Predict, the matrix files) run inside their button
// handlers without returning to the event loop. The sinks repaint their
// widgets directly, but at most about 30 times a second; between those
// moments an update costs only storing it. A Solve runs on a worker thread
// instead and its output arrives here in batches (show()).
#include <QElapsedTimer>

#include <cstddef>
#include <functional>

#include "core/support/console.h"

class QLineEdit;
class QProgressBar;

namespace duolink {

class ConsoleView;
struct ConsoleBatch;

class LiveDisplay {
public:
    static constexpr int kRepaintIntervalMs = 33;

    LiveDisplay(ConsoleView* pane, QLineEdit* r2Field, QProgressBar* bar);
    LiveDisplay(const LiveDisplay&) = delete;
    LiveDisplay& operator=(const LiveDisplay&) = delete;

    ConsolePane* paneSink() { return &pane_; }
    TextField* r2Sink() { return &r2_; }
    ProgressBar* barSink() { return &bar_; }

    // Called by the sinks after every change: repaints now when the last
    // repaint is long enough ago.
    void changed();
    // Brings all three widgets up to their final state and schedules their
    // repaint; for the end of every command.
    void flush();
    // During a run the pane leaves up to this much of its text unpacked and
    // packs the rest once the run has ended: a run of job H at 100
    // presentations (31 MB) is then never slowed down by packing on a
    // machine whose other core is busy.
    static constexpr size_t kUnpackedDuringRun = size_t(48) << 20;
    void setRunning(bool running);
    // Hands a run's batch of output to the widgets; those that look different
    // repaint, in one pass. The pane keeps the memory of the batch's lines.
    void show(ConsoleBatch& batch);

    // The bar position the engine has set, applied or not.
    const ProgressState& progress() const { return bar_.state; }

private:
    class PaneSink final : public ConsolePane {
    public:
        PaneSink(LiveDisplay& owner, ConsoleView* view) : owner(owner), view(view) {}
        void appendLine(std::string_view line) override;
        LiveDisplay& owner;
        ConsoleView* view;
    };
    class FieldSink final : public TextField {
    public:
        FieldSink(LiveDisplay& owner, QLineEdit* edit) : owner(owner), edit(edit) {}
        void setText(std::string_view text) override;
        LiveDisplay& owner;
        QLineEdit* edit;
        bool changed = false; // since its last repaint
    };
    class BarSink final : public ProgressBar {
    public:
        BarSink(LiveDisplay& owner, QProgressBar* bar) : owner(owner), bar(bar) {}
        void setMinimum(int value) override;
        void setMaximum(int value) override;
        void stepBy(int delta) override;
        // Hands the state to the widget; true when the range changed (a new
        // value alone repaints the bar by itself).
        bool apply();
        LiveDisplay& owner;
        QProgressBar* bar;
        ProgressState state;
    };


    PaneSink pane_;
    FieldSink r2_;
    BarSink bar_;
    QElapsedTimer sinceRepaint_;
};

} // namespace duolink
