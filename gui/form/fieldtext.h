// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Number fields that show the start of their text: a value wider than its
// field keeps its sign and leading digits in view, and its whole text is in
// the field's tooltip.
#include <QObject>
#include <QString>

class QLineEdit;

namespace duolink {

// Sets the field's text as the program does: the field then shows the text's
// beginning.
void showFieldText(QLineEdit* field, const QString& text);

// Whether the field's whole text fits in its visible width.
bool fieldTextFits(const QLineEdit* field);

// Keeps the tooltip of each field it watches to the field's whole text while
// that text does not fit, and empty otherwise.
class FullTextTips : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void watch(QLineEdit* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace duolink
