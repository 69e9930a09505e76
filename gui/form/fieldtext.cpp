// SPDX-License-Identifier: GPL-3.0-or-later
#include "form/fieldtext.h"

#include <QEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

namespace duolink {
namespace {

// The blank the line edit keeps on each side of its text, inside the
// contents rectangle.
constexpr int kInnerMargin = 2;

void updateTip(QLineEdit* field)
{
    const QString tip = fieldTextFits(field) ? QString() : field->text();
    if (field->toolTip() != tip)
        field->setToolTip(tip);
}

} // namespace

void showFieldText(QLineEdit* field, const QString& text)
{
    field->setText(text);
    field->setCursorPosition(0);
}

bool fieldTextFits(const QLineEdit* field)
{
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->rect();
    option.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
    const QMargins margins = field->textMargins();
    int width = contents.width() - margins.left() - margins.right() - 2 * kInnerMargin;
    // Each icon shown in the field (QLineEdit::addAction) takes its room
    // from the text.
    const int iconRoom = field->style()->pixelMetric(QStyle::PM_LineEditIconSize, nullptr, field) + 6 +
                         field->style()->pixelMetric(QStyle::PM_LineEditIconMargin, nullptr, field);
    for (const QObject* child : field->children())
        if (const auto* icon = qobject_cast<const QToolButton*>(child); icon && icon->isVisibleTo(field))
            width -= iconRoom;
    return field->fontMetrics().horizontalAdvance(field->text()) <= width;
}

void FullTextTips::watch(QLineEdit* field)
{
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, [field] { updateTip(field); });
    updateTip(field);
}

// A new size or font changes what fits: look again before a tooltip shows.
bool FullTextTips::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        if (auto* field = qobject_cast<QLineEdit*>(watched))
            updateTip(field);
    return QObject::eventFilter(watched, event);
}

} // namespace duolink
