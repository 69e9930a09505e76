// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/filefilter.h"

#include <QRegularExpression>
#include <QStringList>

namespace duolink {
namespace {

QStringList splitPatterns(const QString& list, QChar separator)
{
    QStringList out;
    for (const QString& p : list.split(separator, Qt::SkipEmptyParts)) {
        const QString trimmed = p.trimmed();
        if (!trimmed.isEmpty())
            out << trimmed;
    }
    return out;
}

// The pattern list the dialog reads out of an entry; empty when the entry has
// none (then the dialog would take the whole entry as one pattern).
QStringList dialogPatterns(const QString& entry)
{
    // The same shape the file dialog recognises.
    static const QRegularExpression shape(
        QStringLiteral("^(.*)\\(([a-zA-Z0-9_.,*? +;#\\-\\[\\]@\\{\\}/!<>\\$%&=^~:\\|]*)\\)$"));
    const QRegularExpressionMatch m = shape.match(entry);
    if (!m.hasMatch())
        return {};
    return splitPatterns(m.captured(2), QLatin1Char(' '));
}

} // namespace

QString qtFileFilter(const QString& pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList entries;
    // A description without a pattern after it is ignored.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i];
        QStringList patterns = splitPatterns(parts[i + 1], QLatin1Char(';'));
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        if (dialogPatterns(description) == patterns)
            entries << description;
        else
            entries << description.trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

} // namespace duolink
