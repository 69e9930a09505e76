// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Saves a chart as a figure for a page: a PNG image at a chosen size and
// resolution, an SVG drawing or a PDF page. The figure is drawn anew at the
// page's size, not grabbed from the screen: white, with fonts sized for the
// page and, unless switched off, a caption line naming the run's values.
// Every chart of the program saves through this class.
#include <QByteArray>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QPainter;
class QWidget;

namespace duolink {

class Dialogs;

enum class FigureFormat { Png, Svg, Pdf };

struct FigureOptions {
    QSize pixels{1600, 1000}; // the PNG's size; SVG and PDF take the same page
    int dpi = 200;            // pixels per inch: sets the page's size in inches
    bool caption = true;      // the caption line under the chart
};

inline constexpr int kMinFigurePixels = 100, kMaxFigurePixels = 20000;
inline constexpr int kMinFigureDpi = 50, kMaxFigureDpi = 1200;

// The format a file name asks for by its suffix (any letter case).
std::optional<FigureFormat> figureFormat(const QString& path);

class ChartExport : public QObject {
    Q_OBJECT
public:
    // `view` gives the widget shown now: a QChartView, whose chart is drawn,
    // or a widget that paints itself (the weight map, the heat map).
    // `caption` gives the caption line ("" for none).
    ChartExport(std::function<QWidget*()> view, std::function<QString()> caption,
                std::function<Dialogs&()> dialogs, QObject* parent);

    // Save Chart As…: asks for a file and the figure's options, then saves;
    // on failure an error box says why.
    void saveAs(QWidget* parent);
    // Writes the figure to `path` in the format its suffix names (PNG when
    // it names none of the three). Returns "" or the reason it failed.
    QString save(const QString& path, const FigureOptions& options) const;
    // save() with the options last chosen; on failure an error box says why.
    bool saveTo(QWidget* parent, const QString& path) const;
    // The figure as the bytes of a file of `format`; empty on failure.
    QByteArray figure(FigureFormat format, const FigureOptions& options) const;

    const FigureOptions& options() const { return options_; }

private:
    void paint(QPainter& painter, QSizeF page, const FigureOptions& options) const;

    std::function<QWidget*()> view_;
    std::function<QString()> caption_;
    std::function<Dialogs&()> dialogs_;
    FigureOptions options_;
    QString lastName_;
};

} // namespace duolink
