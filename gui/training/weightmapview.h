// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The weight matrix as coloured cells on a diverging scale centred on 0
// (blue below, white at 0, red above), with a colour bar. Hovering a cell
// shows its value; a click selects it.
#include <QWidget>

#include <optional>

#include "core/stats/recorder.h"

namespace duolink {

class WeightMapView : public QWidget {
    Q_OBJECT
public:
    explicit WeightMapView(QWidget* parent = nullptr);

    void setMap(const WeightMap& map);
    const WeightMap& map() const { return map_; }

    // "A3" ... "parity" for the window's 9 x 8 shape, otherwise numbers.
    QString rowLabel(int row) const;
    QString columnLabel(int col) const;
    // "A3, B5: 0.4567"
    QString cellText(int row, int col) const;
    // The colour of a value on the current scale.
    QColor colourOf(double value) const;
    // The scale runs from -limit to +limit.
    double limit() const { return limit_; }

    // The cell at a point of the widget, if any.
    std::optional<std::pair<int, int>> cellAt(QPoint pos) const;
    void select(int row, int col);

    QSize sizeHint() const override { return {360, 320}; }
    QSize minimumSizeHint() const override { return {200, 160}; }

signals:
    // The text of the hovered or selected cell; empty when there is none.
    void cellShown(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QRect gridRect() const;
    QRect barRect() const;
    bool windowShape() const { return map_.rows == 9 && map_.cols == 8; }

    WeightMap map_;
    double limit_ = 1;
    std::optional<std::pair<int, int>> selected_;
    std::optional<std::pair<int, int>> hovered_;
};

} // namespace duolink
