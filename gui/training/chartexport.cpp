// SPDX-License-Identifier: GPL-3.0-or-later
#include "training/chartexport.h"

#include <QAbstractAxis>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QPainter>
#include <QPalette>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <algorithm>
#include <vector>

#include "common/dialogs.h"
#include "common/errortext.h"
#include "common/savetarget.h"

namespace duolink {

namespace {

// Layout happens at the screen's 96 units to the inch; the page scales it.
constexpr double kLayoutDpi = 96;
// A figure of 8 × 5 inches takes fonts of these sizes; larger pages larger.
// The margin round a widget's figure, in layout units.
constexpr double kWidgetMargin = 14;
constexpr double kLabelPoints = 9, kLegendPoints = 8, kTitlePoints = 11, kCaptionPoints = 8.5;

QFont pointFont(const QFont& base, double points, bool bold = false)
{
    QFont f = base;
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// How much larger than on an 8 × 5 inch page the fonts are on this one.
double fontScale(QSizeF page)
{
    return std::clamp(std::min(page.width() / kLayoutDpi / 8, page.height() / kLayoutDpi / 5), 0.6, 4.0);
}

// A chart restyled for the page and sized to it while it is drawn; as it
// was on screen again afterwards.
class PageChart {
public:
    PageChart(QChart* chart, QSizeF size, double scale) : chart_(chart), size_(chart->size())
    {
        background_ = chart->backgroundBrush();
        roundness_ = chart->backgroundRoundness();
        shadow_ = chart->isDropShadowEnabled();
        animation_ = chart->animationOptions();
        title_ = chart->titleFont();
        legend_ = chart->legend()->font();
        for (QAbstractAxis* axis : chart->axes())
            axes_.push_back({axis, axis->labelsFont(), axis->titleFont()});
        chart->setAnimationOptions(QChart::NoAnimation);
        chart->setBackgroundBrush(Qt::white);
        chart->setBackgroundRoundness(0);
        chart->setDropShadowEnabled(false);
        chart->setTitleFont(pointFont(title_, kTitlePoints * scale, true));
        chart->legend()->setFont(pointFont(legend_, kLegendPoints * scale));
        for (const Axis& a : axes_) {
            a.axis->setLabelsFont(pointFont(a.labels, kLabelPoints * scale));
            a.axis->setTitleFont(pointFont(a.title, (kLabelPoints + 1) * scale));
        }
        chart->resize(size);
        if (chart->layout())
            chart->layout()->activate();
    }
    ~PageChart()
    {
        chart_->setBackgroundBrush(background_);
        chart_->setBackgroundRoundness(roundness_);
        chart_->setDropShadowEnabled(shadow_);
        chart_->setTitleFont(title_);
        chart_->legend()->setFont(legend_);
        for (const Axis& a : axes_)
            a.axis->setLabelsFont(a.labels), a.axis->setTitleFont(a.title);
        chart_->resize(size_);
        if (chart_->layout())
            chart_->layout()->activate();
        chart_->setAnimationOptions(animation_);
    }
    PageChart(const PageChart&) = delete;
    PageChart& operator=(const PageChart&) = delete;

private:
    struct Axis {
        QAbstractAxis* axis;
        QFont labels, title;
    };
    QChart* chart_;
    QSizeF size_;
    QBrush background_;
    qreal roundness_ = 0;
    bool shadow_ = false;
    QChart::AnimationOptions animation_;
    QFont title_, legend_;
    std::vector<Axis> axes_;
};

// A widget that paints itself, drawn at the page's size and fonts.
void paintWidget(QPainter& painter, QWidget* widget, QRectF area, double scale)
{
    const QSize size = widget->size();
    const QFont font = widget->font();
    const QPalette palette = widget->palette();
    QPalette page = palette;
    page.setColor(QPalette::Window, Qt::white);
    page.setColor(QPalette::WindowText, Qt::black);
    page.setColor(QPalette::Text, Qt::black);
    page.setColor(QPalette::Mid, Qt::gray);
    widget->setPalette(page);
    widget->setFont(pointFont(font, kLabelPoints * scale));
    widget->resize(area.size().toSize());
    widget->render(&painter, area.topLeft().toPoint(), QRegion(), QWidget::DrawChildren);
    widget->setFont(font);
    widget->setPalette(palette);
    widget->resize(size);
}

QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return bytes;
}

} // namespace

std::optional<FigureFormat> figureFormat(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return FigureFormat::Png;
    if (suffix == QLatin1String("svg"))
        return FigureFormat::Svg;
    if (suffix == QLatin1String("pdf"))
        return FigureFormat::Pdf;
    return std::nullopt;
}

ChartExport::ChartExport(std::function<QWidget*()> view, std::function<QString()> caption,
                         std::function<Dialogs&()> dialogs, QObject* parent)
    : QObject(parent), view_(std::move(view)), caption_(std::move(caption)), dialogs_(std::move(dialogs))
{
}

void ChartExport::paint(QPainter& painter, QSizeF page, const FigureOptions& options) const
{
    const double scale = fontScale(page);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(QPointF(0, 0), page), Qt::white);
    const QString caption = options.caption && caption_ ? caption_() : QString();
    QRectF area(QPointF(0, 0), page);
    if (!caption.isEmpty()) {
        const QFont font = pointFont(painter.font(), kCaptionPoints * scale);
        const QFontMetricsF metrics(font);
        const double margin = metrics.height() * 0.8;
        area.setHeight(page.height() - metrics.height() - 2 * margin);
        const QRectF line(margin, area.bottom() + margin, page.width() - 2 * margin, metrics.height());
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(caption, Qt::ElideRight, line.width()));
    }
    QWidget* view = view_ ? view_() : nullptr;
    if (auto* chartView = qobject_cast<QChartView*>(view)) {
        QChart* chart = chartView->chart();
        const PageChart styled(chart, area.size(), scale);
        chart->scene()->render(&painter, area, chart->sceneBoundingRect(), Qt::IgnoreAspectRatio);
    } else if (view) {
        // A widget draws to its edges; the page keeps a margin round it.
        const double margin = kWidgetMargin * scale;
        paintWidget(painter, view, area.adjusted(margin, margin, -margin, -margin), scale);
    }
}

QByteArray ChartExport::figure(FigureFormat format, const FigureOptions& options) const
{
    const double scale = options.dpi / kLayoutDpi;
    const QSizeF page(options.pixels.width() / scale, options.pixels.height() / scale);
    if (format == FigureFormat::Png) {
        QImage image(options.pixels, QImage::Format_RGB32);
        if (image.isNull())
            return {};
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.scale(scale, scale);
            paint(painter, page, options);
        }
        const int dotsPerMeter = qRound(options.dpi / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return pngBytes(image);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return {};
    // The file's own description names the run too, unless the caption is off.
    const QString caption = options.caption && caption_ ? caption_() : QString();
    if (format == FigureFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setResolution(static_cast<int>(kLayoutDpi));
        svg.setSize(page.toSize());
        svg.setViewBox(QRectF(QPointF(0, 0), page));
        svg.setDescription(caption);
        QPainter painter;
        if (!painter.begin(&svg))
            return {};
        paint(painter, page, options);
        painter.end();
        return bytes;
    }
    QPdfWriter pdf(&buffer);
    pdf.setResolution(static_cast<int>(kLayoutDpi));
    pdf.setPageSize(QPageSize(page / kLayoutDpi, QPageSize::Inch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setCreator(QStringLiteral("Duolink"));
    pdf.setTitle(caption);
    QPainter painter;
    if (!painter.begin(&pdf))
        return {};
    paint(painter, page, options);
    painter.end();
    return bytes;
}

QString ChartExport::save(const QString& path, const FigureOptions& options) const
{
    const QByteArray bytes = figure(figureFormat(path).value_or(FigureFormat::Png), options);
    if (bytes.isEmpty())
        return tr("the figure could not be drawn at %1 \u00d7 %2 pixels").arg(options.pixels.width()).arg(options.pixels.height());
    return replaceFileWith(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

bool ChartExport::saveTo(QWidget* parent, const QString& path) const
{
    const QString reason = save(path, options_);
    if (!reason.isEmpty())
        dialogs_().errorBox(parent, fileErrorText(path, tr("chart not saved"), reason));
    return reason.isEmpty();
}

void ChartExport::saveAs(QWidget* parent)
{
    Dialogs& dialogs = dialogs_();
    const std::optional<QString> name = dialogs.saveFileName(
        parent, tr("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"), lastName_);
    if (!name || name->isEmpty())
        return;
    const QString path = withSuffix(*name, "png");
    if (!figureFormat(path)) {
        dialogs.errorBox(parent, tr("%1: a chart is saved as a .png, .svg or .pdf file; nothing was saved.")
                                     .arg(QFileInfo(path).fileName()));
        return;
    }
    lastName_ = path;
    FigureOptions options = options_;
    if (!dialogs.figureOptions(parent, options, *figureFormat(path) == FigureFormat::Png))
        return;
    options_ = options;
    if (mayReplace(parent, dialogs, path))
        saveTo(parent, path);
}

} // namespace duolink
