// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lines of 8-bit text drawn in a fixed-pitch font, one glyph a character at
// whole multiples of the character width, without the toolkit's text layout:
// the console pane paints a screenful of lines 30 times a second during a
// run, and laying the lines out took most of that time.
#include <QFont>
#include <QPointF>
#include <QRawFont>

#include <array>
#include <string_view>
#include <vector>

class QPainter;

namespace duolink {

class FixedPitchText {
public:
    // The width of each character, in the painter's font.
    void setCharWidth(qreal charWidth);

    // Draws `text` on the baseline from `origin`, in the painter's font and
    // pen. A line with a character the font has no glyph of, or a control
    // character, is drawn by QPainter::drawText as a whole (another font may
    // have the glyph).
    void draw(QPainter& painter, const QPointF& origin, std::string_view text);

private:
    void takeFont(const QPainter& painter);

    QFont font_;
    int dpi_ = 0;
    bool taken_ = false;
    QRawFont raw_;
    qreal charWidth_ = 1;
    std::array<quint32, 256> glyphOf_{}; // 0: drawn by drawText
    std::vector<quint32> glyphs_;         // of the line being drawn
    std::vector<QPointF> positions_;      // of the characters from the first
};

} // namespace duolink
