// SPDX-License-Identifier: GPL-3.0-or-later
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

// When pane work shows its progress and when a copy asks first.
struct PaneLimits {
    // Work on more than this many bytes shows its progress...
    uint64_t progressAbove = uint64_t(50) << 20;
    // ...once it has taken this long.
    int showAfterMs = 300;
    // Copying more than this to the clipboard asks first.
    uint64_t askBeforeCopying = uint64_t(100) << 20;
};

// "1.7 GB", "120 MB".
QString sizeText(uint64_t bytes);

class PaneProgress {
public:
    // Shows nothing for `total` up to limits.progressAbove.
    PaneProgress(QWidget* parent, const QString& label, uint64_t total, const PaneLimits& limits);
    ~PaneProgress();
    // After a piece: shows `done` and lets the window paint; false once the
    // user has cancelled.
    bool advance(uint64_t done);

private:
    std::unique_ptr<QProgressDialog> dialog_;
    uint64_t total_;
};

} // namespace duolink
