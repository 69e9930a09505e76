// SPDX-License-Identifier: GPL-3.0-or-later
#include "pane/fixedpitchtext.h"

#include <QGlyphRun>
#include <QPainter>
#include <QString>

namespace duolink {

void FixedPitchText::setCharWidth(qreal charWidth)
{
    if (charWidth != charWidth_)
        positions_.clear();
    charWidth_ = charWidth;
}

// The glyphs of the painter's font, as it draws on its device.
void FixedPitchText::takeFont(const QPainter& painter)
{
    const int dpi = painter.device() ? painter.device()->logicalDpiY() : 0;
    if (taken_ && painter.font() == font_ && dpi == dpi_)
        return;
    taken_ = true;
    font_ = painter.font();
    dpi_ = dpi;
    raw_ = QRawFont::fromFont(font_);
    glyphOf_.fill(0);
    if (!raw_.isValid())
        return;
    for (int c = 0x20; c < 0x100; ++c) {
        if (c >= 0x7f && c < 0xa0)
            continue; // control characters
        const QChar ch(static_cast<char16_t>(c));
        quint32 glyph = 0;
        int count = 1;
        if (raw_.glyphIndexesForChars(&ch, 1, &glyph, &count) && count == 1)
            glyphOf_[static_cast<size_t>(c)] = glyph;
    }
}

void FixedPitchText::draw(QPainter& painter, const QPointF& origin, std::string_view text)
{
    takeFont(painter);
    glyphs_.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const quint32 glyph = glyphOf_[static_cast<unsigned char>(text[i])];
        if (glyph == 0) {
            painter.drawText(origin, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
            return;
        }
        glyphs_[i] = glyph;
    }
    while (positions_.size() < text.size())
        positions_.emplace_back(static_cast<qreal>(positions_.size()) * charWidth_, 0);
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setRawData(glyphs_.data(), positions_.data(), static_cast<int>(text.size()));
    painter.drawGlyphRun(origin, run);
}

} // namespace duolink
