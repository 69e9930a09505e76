// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The console pane: a read-only, append-only view of report lines that stays
// fast and compact with millions of lines. Lines are 8-bit text, shown in a
// fixed-pitch font so that the columns of the engine's tables line up.
#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pane/fixedpitchtext.h"
#include "pane/linestore.h"

namespace duolink {

class ConsoleView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ConsoleView(QWidget* parent = nullptr);

    // Stores a line. The view itself catches up at the next syncView(), so
    // that a burst of lines costs no layout or paint work per line.
    void appendLine(std::string_view line);
    // Stores lines given as their texts joined without separators and their
    // lengths, keeping the memory of both (LineStore::appendLines).
    void appendLines(std::string&& text, std::vector<uint32_t>&& lengths);
    // Brings the scroll ranges up to date and, when lines were appended since
    // the last call, scrolls the newest line into view; frees what the
    // store's packer has finished.
    void syncView();
    bool hasUnsyncedLines() const { return unsynced_; }
    // Blocks of lines left unpacked, up to `bytes` (LineStore::setUnpackedAllowance).
    void setUnpackedAllowance(size_t bytes);

    qsizetype lineCount() const { return static_cast<qsizetype>(lines_.size()); }
    // Valid until the pane changes or a few other parts of it have been read.
    std::string_view lineView(qsizetype i) const { return lines_[static_cast<size_t>(i)]; }
    QString line(qsizetype i) const;
    // All lines joined with "\n".
    QString text() const;
    uint64_t textBytes() const { return lines_.textBytes(); }
    // Appends lines [first, last) to `out`, each but the last followed by
    // '\n'; for writing the pane out a piece at a time.
    void appendText(std::string& out, qsizetype first, qsizetype last) const
    {
        lines_.appendText(out, static_cast<size_t>(first), static_cast<size_t>(last));
    }
    // Empties the pane and frees the memory its lines took.
    void clear();
    // Bytes of memory the pane's lines take.
    std::size_t storeBytes() const { return lines_.storeBytes(); }

    bool hasSelection() const;
    // The bytes the selection holds, line ends included.
    uint64_t selectionBytes() const;
    QString selectedText() const;
    // The same, built a piece of lines at a time; after each piece
    // `onPiece` gets the characters made so far and may say stop (false),
    // which gives a null string.
    QString selectedText(const std::function<bool(uint64_t done)>& onPiece) const;
    void selectAll();
    void clearSelection();
    // Puts the selected text on the clipboard; does nothing without a selection.
    void copy() const;
    // Copy from the keyboard or the context menu runs `command` instead of
    // copy() (a window that asks before copying much, and shows progress).
    void setCopyCommand(std::function<void()> command) { copyCommand_ = std::move(command); }

    // First line shown at the top, and the number of whole lines that fit.
    qsizetype firstVisibleLine() const;
    int visibleLineCount() const;
    // Index of the line drawn at the given viewport row position.
    qsizetype lineAtY(int y) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    struct Pos {
        qsizetype line = 0;
        qsizetype col = 0;
        friend bool operator==(const Pos&, const Pos&) = default;
        friend auto operator<=>(const Pos&, const Pos&) = default;
    };

    void updateMetrics();
    void updateScrollRanges();
    Pos posAt(const QPoint& viewportPoint) const;
    void dragTo(const QPoint& viewportPoint);
    void publishSelection() const;
    void copyCommand() const;

    LineStore lines_;
    bool unsynced_ = false;

    FixedPitchText text_;
    qreal charWidth_ = 8;
    int lineHeight_ = 14;
    int ascent_ = 11;
    static constexpr int kMargin = 3;

    Pos anchor_;
    Pos cursor_;
    bool dragging_ = false;
    QPoint lastDragPoint_;
    QBasicTimer autoScroll_;
    // Runs while blocks of the store wait for its packer, to free their
    // unpacked text once they are packed.
    QBasicTimer collectPacked_;
    std::function<void()> copyCommand_;
};

} // namespace duolink
