#pragma once
// Hands the console channel's output from a run on a worker thread to the
// thread that shows it. The run writes into the three sinks as usual; what it
// wrote is published in pieces, and the showing side takes everything
// published so far whenever it is ready to show it. Neither side waits for
// the other, except that a run whose output is not being taken pauses once
// a few megabytes are waiting, so memory stays bounded.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/console.h"

namespace duolink {

// Output of a run not yet shown.
struct ConsoleBatch {
    std::string text;               // the lines, joined without separators
    std::vector<uint32_t> lengths;  // the length of each line, in order
    std::optional<std::string> r2;  // the R2 field's newest text, if it changed
    std::optional<ProgressState> progress; // the bar's newest state, if it changed

    bool empty() const { return lengths.empty() && !r2 && !progress; }
    void clear();
    // Calls f(std::string_view) for each line.
    template <class F> void forEachLine(F&& f) const
    {
        size_t at = 0;
        for (uint32_t n : lengths) {
            f(std::string_view(text).substr(at, n));
            at += n;
        }
    }
};

class ConsoleHandoff {
public:
    // The bar starts from the state the showing side has now.
    explicit ConsoleHandoff(const ProgressState& bar);
    ConsoleHandoff(const ConsoleHandoff&) = delete;
    ConsoleHandoff& operator=(const ConsoleHandoff&) = delete;

    // --- The run's side (one thread at a time) ---
    ConsolePane* paneSink() { return &pane_; }
    TextField* r2Sink() { return &r2_; }
    ProgressBar* barSink() { return &bar_; }
    // Publishes what the run has written and not yet published; the sinks
    // publish by themselves at least once a presentation.
    void publish();

    // --- The showing side ---
    // Moves everything published into `out` (emptied first); false when
    // nothing was published since the last call.
    bool take(ConsoleBatch& out);
    // From now on the run never pauses for the showing side.
    void stopPacing();

private:
    struct PaneSink final : ConsolePane {
        explicit PaneSink(ConsoleHandoff& owner) : owner(owner) {}
        void appendLine(std::string_view line) override;
        ConsoleHandoff& owner;
    };
    struct FieldSink final : TextField {
        explicit FieldSink(ConsoleHandoff& owner) : owner(owner) {}
        void setText(std::string_view text) override;
        ConsoleHandoff& owner;
    };
    struct BarSink final : ProgressBar {
        explicit BarSink(ConsoleHandoff& owner) : owner(owner) {}
        void setMinimum(int value) override;
        void setMaximum(int value) override;
        void stepBy(int delta) override;
        ConsoleHandoff& owner;
        ProgressState state;
    };

    // Lines are published in pieces of about this size, so that the showing
    // side gets them soon without taking a lock per line.
    static constexpr size_t kPieceBytes = size_t(64) << 10;
    // The run pauses while this much text waits to be taken.
    static constexpr size_t kMaxWaitingBytes = size_t(8) << 20;

    PaneSink pane_{*this};
    FieldSink r2_{*this};
    BarSink bar_{*this};
    ConsoleBatch written_; // the run's side only

    std::mutex mutex_;
    std::condition_variable taken_;
    ConsoleBatch published_;
    bool pacing_ = true;
};

} // namespace duolink
