// SPDX-License-Identifier: GPL-3.0-or-later
#include "form/othershapenote.h"

#include <QLineEdit>

#include "controllers/listcontroller.h"

namespace duolink {

OtherShapeNote::OtherShapeNote(ListController* lists, std::array<QLineEdit*, 16> fields,
                               std::function<void()> showList, QWidget* parent)
    : QLabel(parent), lists_(lists), fields_(fields)
{
    setObjectName(QStringLiteral("OtherShapeNote"));
    setWordWrap(true);
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(this, &QLabel::linkActivated, this, [showList = std::move(showList)] { showList(); });
    connect(lists_, &ListController::changed, this, &OtherShapeNote::follow);
    hide();
    follow();
}

void OtherShapeNote::follow()
{
    const ShapedDocument& shaped = lists_->shapedList();
    const bool other = shaped.active();
    if (other)
        setText(tr("Pairs of %1 + %2 values: edit them, and choose the pair for Predict, in the "
                   "<a href=\"list\">Pattern List window</a>.")
                    .arg(shaped.pairs.shape.n)
                    .arg(shaped.pairs.shape.m));
    if (other == shown_)
        return;
    shown_ = other;
    for (QLineEdit* field : fields_)
        field->setEnabled(!other);
    setVisible(other);
}

} // namespace duolink
