// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line under the data fields while the list holds pairs of another shape
// than the fields' 8 + 8 values: the fields are then out of use, and the line
// says why and leads to the Pattern List window, where such pairs are edited
// and chosen. For a list of 8 + 8 values it is hidden and the fields are as
// they always are.
#include <QLabel>

#include <array>
#include <functional>

class QLineEdit;

namespace duolink {

class ListController;

class OtherShapeNote : public QLabel {
    Q_OBJECT
public:
    // Follows the list of `lists` and disables `fields` while it is of
    // another shape; the link runs `showList`.
    OtherShapeNote(ListController* lists, std::array<QLineEdit*, 16> fields, std::function<void()> showList,
                   QWidget* parent);

    // Shows the state of the list now (also after every list command).
    void follow();

private:
    ListController* lists_;
    std::array<QLineEdit*, 16> fields_;
    bool shown_ = false;
};

} // namespace duolink
