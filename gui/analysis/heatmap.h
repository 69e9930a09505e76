// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A grid of coloured cells with a colour bar: one value per cell, or a mark
// ("limit", "error") where the cell has none to show.
#include <QStringList>
#include <QWidget>

#include <vector>

namespace duolink {

class HeatMap : public QWidget {
    Q_OBJECT
public:
    struct Cell {
        double value = 0;
        bool hasValue = false;
        QString mark; // shown in the cell, over grey when it has no value
    };

    explicit HeatMap(QWidget* parent = nullptr);
    // Rows top to bottom are the first axis's values, columns the second's.
    void setAxes(const QString& rowTitle, const QStringList& rows, const QString& columnTitle,
                 const QStringList& columns);
    void setCell(int row, int column, const Cell& cell);
    // The cell as shown; nullptr outside the grid.
    const Cell* cell(int row, int column) const;
    void setValueTitle(const QString& title);
    QSize sizeHint() const override { return {560, 380}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString rowTitle_, columnTitle_, valueTitle_;
    QStringList rows_, columns_;
    std::vector<Cell> cells_;
};

// The colour of t in [0, 1]: dark blue through green to yellow.
QColor heatColour(double t);

} // namespace duolink
