#pragma once
// The console pane: a read-only, append-only view of report lines that stays
// fast and compact with millions of lines. Lines are 8-bit text, shown in a
// fixed-pitch font so that the columns of the engine's tables line up.
#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

namespace duolink {

// Append-only line storage: the text lives in large blocks that are never
// moved (no copy of the whole text when it grows), and each line costs one
// 64-bit start position on top of its characters.
class LineStore {
public:
    void append(std::string_view line);
    // Drops every line and gives their memory back.
    void clear();
    size_t size() const { return starts_.size(); }
    std::string_view operator[](size_t i) const;
    // Length of the longest line, in characters.
    size_t longest() const { return longest_; }
    // Characters of all lines, without separators.
    uint64_t textBytes() const { return end_; }
    // Characters of the lines before line i.
    uint64_t offsetOf(size_t i) const { return i < starts_.size() ? starts_[i] : end_; }
    // Bytes allocated for the lines and their index.
    size_t storeBytes() const;

private:
    struct Block {
        std::unique_ptr<char[]> data;
        size_t capacity = 0;
        size_t used = 0;
        uint64_t base = 0;      // position of data[0] in the joined text
        size_t firstLine = 0;   // index of the first line stored here
    };
    static constexpr size_t kBlockSize = size_t(4) << 20;

    std::vector<Block> blocks_;
    std::deque<uint64_t> starts_; // start of each line in the joined text
    uint64_t end_ = 0;
    size_t longest_ = 0;
};

class ConsoleView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ConsoleView(QWidget* parent = nullptr);

    // Stores a line. The view itself catches up at the next syncView(), so
    // that a burst of lines costs no layout or paint work per line.
    void appendLine(std::string_view line);
    // Brings the scroll ranges up to date and, when lines were appended since
    // the last call, scrolls the newest line into view.
    void syncView();
    bool hasUnsyncedLines() const { return unsynced_; }

    qsizetype lineCount() const { return static_cast<qsizetype>(lines_.size()); }
    std::string_view lineView(qsizetype i) const { return lines_[static_cast<size_t>(i)]; }
    QString line(qsizetype i) const;
    // All lines joined with "\n".
    QString text() const;
    uint64_t textBytes() const { return lines_.textBytes(); }
    // Bytes the line store holds; clear() gives them back.
    std::size_t storeBytes() const { return lines_.storeBytes(); }
    // Empties the pane and frees its memory.
    void clear();

    bool hasSelection() const;
    QString selectedText() const;
    void selectAll();
    void clearSelection();
    // Puts the selected text on the clipboard; does nothing without a selection.
    void copy() const;

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
    uint64_t selectionBytes() const;

    LineStore lines_;
    bool unsynced_ = false;

    qreal charWidth_ = 8;
    int lineHeight_ = 14;
    int ascent_ = 11;
    static constexpr int kMargin = 3;

    Pos anchor_;
    Pos cursor_;
    bool dragging_ = false;
    QPoint lastDragPoint_;
    QBasicTimer autoScroll_;
};

} // namespace duolink
