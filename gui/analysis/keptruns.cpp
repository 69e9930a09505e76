// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/keptruns.h"

#include <QAbstractAxis>
#include <QChart>
#include <QChartView>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QScatterSeries>

#include <algorithm>
#include <array>

#include "core/analysis/provenance.h"
#include "common/dialogs.h"
#include "common/errortext.h"
#include "common/savetarget.h"

namespace duolink {

namespace {

// Colours told apart in print and by most colour-blind readers.
// Dark ones, apart from the light colours of the chart's own series.
constexpr std::array<QRgb, 6> kColours = {0xB2182B, 0x2166AC, 0x762A83, 0x01665E, 0x8C510A, 0x000000};
constexpr std::array<QScatterSeries::MarkerShape, 5> kMarkers = {
    QScatterSeries::MarkerShapeRectangle, QScatterSeries::MarkerShapeTriangle, QScatterSeries::MarkerShapeStar,
    QScatterSeries::MarkerShapeRotatedRectangle, QScatterSeries::MarkerShapePentagon};

void appendJsonString(std::string& out, const QString& text)
{
    out += '"';
    for (const char c : text.toStdString()) {
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (static_cast<unsigned char>(c) < 0x20)
            out += "\\u00" + std::string{"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
        else
            out += c;
    }
    out += '"';
}

} // namespace

std::string windowRunProvenance(const analysis::AnalysisSpec& request, const QString& folder,
                                std::chrono::system_clock::time_point started, bool stopped,
                                const std::array<size_t, 4>& outcomes)
{
    analysis::Provenance p;
    p.command = {"duolink"};
    p.folder = folder.toStdString();
    p.request = request;
    p.jobs = ThreadPool().threadCount();
    p.started = started;
    p.ended = std::chrono::system_clock::now();
    p.stopped = stopped;
    p.outcomes = outcomes;
    std::string json = analysis::provenanceJson(p);
    while (!json.empty() && json.back() == '\n')
        json.pop_back();
    return json;
}

std::string numberedRows(int run, const std::string& rows)
{
    const std::string prefix = std::to_string(run) + ',';
    std::string out;
    out.reserve(rows.size() + rows.size() / 16);
    for (size_t start = 0; start < rows.size();) {
        const size_t end = rows.find('\n', start);
        const size_t next = end == std::string::npos ? rows.size() : end + 1;
        out.append(prefix).append(rows, start, next - start);
        if (end == std::string::npos)
            out += '\n';
        start = next;
    }
    return out;
}

KeptRuns::KeptRuns(QChartView* view, QObject* parent) : QObject(parent), view_(view) {}

void KeptRuns::draw(Run& run)
{
    undraw(run);
    const QList<QPointF> points = run.curves.value(shown_);
    const QColor colour(kColours[static_cast<size_t>(run.style) % kColours.size()]);
    run.line = new QLineSeries;
    run.line->setPen(QPen(colour, 1.5));
    run.line->replace(points);
    run.marks = new QScatterSeries;
    run.marks->setMarkerShape(kMarkers[static_cast<size_t>(run.style) % kMarkers.size()]);
    run.marks->setMarkerSize(8);
    run.marks->setColor(colour);
    run.marks->setBorderColor(colour);
    run.marks->replace(points);
    run.marks->setName(legendName(run.label));
    QChart* chart = view_->chart();
    const QList<QAbstractAxis*> x = chart->axes(Qt::Horizontal), y = chart->axes(Qt::Vertical);
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{run.line, run.marks}) {
        chart->addSeries(s);
        if (!x.isEmpty())
            s->attachAxis(x.first());
        if (!y.isEmpty())
            s->attachAxis(y.first());
    }
    // The legend names the run once, by its marker.
    for (QLegendMarker* m : chart->legend()->markers(run.line))
        m->setVisible(false);
}

void KeptRuns::undraw(Run& run)
{
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{run.line, run.marks})
        if (s) {
            view_->chart()->removeSeries(s);
            delete s;
        }
}

void KeptRuns::keep(const QString& label, QList<QList<QPointF>> curves, std::string header, std::string rows,
                    std::string provenance)
{
    runs_.push_back(
        {label, std::move(curves), std::move(header), std::move(rows), std::move(provenance), made_++, {}, {}});
    draw(runs_.back());
    setCurrentLabel(current_);
    emit changed();
}

void KeptRuns::setCurrentLabel(const QString& label)
{
    current_ = label;
    for (Run& run : runs_)
        if (run.marks)
            run.marks->setName(legendName(run.label));
}

QString KeptRuns::legendName(const QString& label) const
{
    const QString separator = QStringLiteral(", ");
    QStringList own = label.split(separator);
    // Values every run shares are the caption's, not the legend's.
    own.removeIf([&](const QString& item) {
        const auto has = [&](const QString& other) { return other.split(separator).contains(item); };
        return has(current_) && std::all_of(runs_.begin(), runs_.end(), [&](const Run& r) { return has(r.label); });
    });
    if (!own.isEmpty())
        return own.join(separator);
    for (size_t k = 0; k < runs_.size(); ++k)
        if (runs_[k].label == label)
            return tr("run %1").arg(k + 1);
    return tr("this run");
}

QString KeptRuns::sharedValues(const QString& label) const
{
    const QString separator = QStringLiteral(", ");
    QStringList items = label.split(separator);
    items.removeIf([&](const QString& item) {
        return std::any_of(runs_.begin(), runs_.end(), [&](const Run& r) { return !r.label.split(separator).contains(item); });
    });
    return items.join(separator);
}

void KeptRuns::setShown(int curve)
{
    shown_ = curve;
    redraw();
}

void KeptRuns::redraw()
{
    for (Run& run : runs_)
        draw(run);
}

void KeptRuns::remove(int index)
{
    if (index < 0 || index >= static_cast<int>(runs_.size()))
        return;
    undraw(runs_[static_cast<size_t>(index)]);
    runs_.erase(runs_.begin() + index);
    setCurrentLabel(current_);
    emit changed();
}

void KeptRuns::clear()
{
    while (!runs_.empty())
        remove(static_cast<int>(runs_.size()) - 1);
}

std::optional<std::string> KeptRuns::csv(const std::string& header, const std::string& rows) const
{
    std::string out = "run," + header + '\n';
    int number = 0;
    for (const Run& run : runs_) {
        if (run.header != header)
            return std::nullopt;
        out += numberedRows(++number, run.rows);
    }
    if (!rows.empty())
        out += numberedRows(++number, rows);
    return out;
}

std::string KeptRuns::sidecar(const QString& label, const std::string& provenance) const
{
    std::string out = "{\"program\": \"duolink\",\n\"runs\": [";
    int number = 0;
    const auto add = [&](const QString& l, const std::string& p) {
        out += number ? ",\n" : "\n";
        out += "{\"run\": " + std::to_string(++number) + ", \"label\": ";
        appendJsonString(out, l);
        out += ", \"provenance\": " + (p.empty() ? std::string("null") : p) + '}';
    };
    for (const Run& run : runs_)
        add(run.label, run.provenance);
    if (!label.isEmpty())
        add(label, provenance);
    return out + "\n]}\n";
}

bool KeptRuns::showLegendMenu(QPoint globalPos, QPointF scenePos)
{
    QLegend* legend = view_->chart()->legend();
    if (runs_.empty() || !legend->isVisible() || !legend->sceneBoundingRect().contains(scenePos))
        return false;
    QMenu menu(view_);
    for (int k = 0; k < static_cast<int>(runs_.size()); ++k)
        connect(menu.addAction(tr("Remove \u201c%1\u201d").arg(runs_[static_cast<size_t>(k)].label)),
                &QAction::triggered, this, [this, k] { remove(k); });
    menu.addSeparator();
    connect(menu.addAction(tr("Remove All Kept Runs")), &QAction::triggered, this, &KeptRuns::clear);
    menu.exec(globalPos);
    return true;
}

void KeptRuns::saveCsvAs(QWidget* parent, Dialogs& dialogs, const std::string& header, const std::string& rows,
                         const QString& label, const std::string& provenance)
{
    const std::optional<QString> name = dialogs.saveFileName(parent, tr("CSV file (*.csv)"), lastCsvName_);
    if (!name || name->isEmpty())
        return;
    const QString path = withSuffix(*name, "csv");
    lastCsvName_ = path;
    const std::optional<std::string> text = csv(header, rows);
    if (!text) {
        dialogs.errorBox(parent, tr("The kept runs have other columns than this run (a sweep of other parameters); "
                                    "nothing was saved.\nRemove them from the legend's context menu first."));
        return;
    }
    if (!mayReplace(parent, dialogs, path))
        return;
    const QString sidecarPath = path + QStringLiteral(".json");
    QString failed = path, reason = replaceFileWith(path, *text);
    if (reason.isEmpty())
        failed = sidecarPath, reason = replaceFileWith(sidecarPath, sidecar(label, provenance));
    if (!reason.isEmpty())
        dialogs.errorBox(parent, fileErrorText(failed, tr("CSV not saved"), reason));
}

} // namespace duolink
