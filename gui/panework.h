#pragma once
// Long work on the pane's text (saving or copying hundreds of megabytes):
// done a piece at a time under a progress dialog that can be cancelled, so
// that the window keeps painting.
#include <QString>

#include <cstdint>
#include <memory>

class QProgressDialog;
class QWidget;

namespace duolink {

// Work on more than this many bytes shows its progress.
inline constexpr uint64_t kProgressAbove = uint64_t(50) << 20;
// Copying more than this to the clipboard asks first.
inline constexpr uint64_t kAskBeforeCopying = uint64_t(100) << 20;

// "1.7 GB", "120 MB".
QString sizeText(uint64_t bytes);

class PaneProgress {
public:
    // Shows nothing for `total` up to kProgressAbove.
    PaneProgress(QWidget* parent, const QString& label, uint64_t total);
    ~PaneProgress();
    // After a piece: shows `done` and lets the window paint; false once the
    // user has cancelled.
    bool advance(uint64_t done);

private:
    std::unique_ptr<QProgressDialog> dialog_;
    uint64_t total_;
};

} // namespace duolink
