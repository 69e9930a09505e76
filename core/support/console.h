// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Line-printer style output channel to the text pane, and the three
// window controls the engine writes into. The engine never sees the window:
// the window, the headless runner and the tests each plug in their own sinks.
#include <string>
#include <string_view>

namespace duolink {

// The text pane: receives whole lines, newest last.
class ConsolePane {
public:
    virtual ~ConsolePane() = default;
    virtual void appendLine(std::string_view line) = 0;
    // Whole lines, each ended by a line feed that is not part of it: the
    // same as appendLine for each, which is what a pane that does not
    // override it gets.
    virtual void appendBlock(std::string_view lines);
};

// The "R2 Correlation" field.
class TextField {
public:
    virtual ~TextField() = default;
    virtual void setText(std::string_view text) = 0;
};

// The training progress bar. stepBy moves the position by a signed step and
// keeps it inside [minimum, maximum].
class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    virtual void setMinimum(int value) = 0;
    virtual void setMaximum(int value) = 0;
    virtual void stepBy(int delta) = 0;
};

// A progress bar state with the clamping rules, for sinks that keep their own.
struct ProgressState {
    int minimum = 0;
    int maximum = 100;
    int position = 0;
    void setMinimum(int value);
    void setMaximum(int value);
    void stepBy(int delta);
};

// The channel of one engine: its three sinks (any may be null: what goes
// there is dropped) and the text of the pane line being built.
struct Console {
    ConsolePane* consolePane = nullptr;
    TextField* r2Edit = nullptr;
    ProgressBar* runProgressBar = nullptr;
    // Text collected by write and not yet emitted.
    std::string pendingLine;

    void write(std::string_view text) { pendingLine.append(text); }
    void writeLn(std::string_view text = {});
    // Whole lines (see ConsolePane::appendBlock); the first one goes
    // behind what is pending.
    void writeBlock(std::string_view lines);
    // Emits text still pending as a line of its own, so that a command that
    // ended early leaves no half line for the next one to continue.
    void endPendingLine();
};

} // namespace duolink
