// SPDX-License-Identifier: GPL-3.0-or-later
#include "form/jobadvice.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "core/engine/solve.h"
#include "core/engine/state.h"

namespace duolink {
namespace {

QString shown(const QString& folder)
{
    return QDir::toNativeSeparators(folder);
}

// The number of values on the first line of a data file that has any.
int valuesPerLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    while (!file.atEnd()) {
        const QString line = QString::fromLatin1(file.readLine(1 << 16)).trimmed();
        if (!line.isEmpty())
            return static_cast<int>(line.split(QRegularExpression(QStringLiteral("\\s+"))).size());
    }
    return 0;
}

} // namespace

QString jobAdvice(std::string_view reason, const QString& folder, int aLength)
{
    const QString parameters = QString::fromLatin1(kParametersFileName);
    if (reason.starts_with("VELD30.dat not available"))
        return QObject::tr("%1 is missing in %2. Copy a parameters file there (the examples hold one), "
                           "or choose the folder that has it with File \u2192 Open Working Folder.")
            .arg(parameters, shown(folder));
    if (reason.starts_with("Simulation file not available"))
        return QObject::tr("nutest.dat is missing in %1; the simulation mode set in %2 needs it. "
                           "Put nutest.dat there, or set the simulation mode in %2 to 0.")
            .arg(shown(folder), parameters);
    if (reason.starts_with("A Len or B Len not in specified range"))
        return QObject::tr("A Len and B Len in %1 must each be 1 to %2.").arg(parameters).arg(kVectorSize);
    if (reason.starts_with("MATRIX TOO BIG"))
        return QObject::tr("A Len times B Len in %1 is more than the matrix holds (%2 cells).")
            .arg(parameters)
            .arg(kMatrixCells);
    if (reason.starts_with("Unexpected End of File ADATA.DAT")) {
        const QString aData = QString::fromLatin1(kADataFileName);
        const int values = valuesPerLine(QDir(folder).filePath(aData));
        if (values > 0 && values != aLength)
            return QObject::tr("A Len is %1, but the patterns in %2 hold %3 values. Set A Len in %4 to %3.")
                .arg(aLength)
                .arg(aData)
                .arg(values)
                .arg(parameters);
        return QObject::tr("%1 in %2 ends before the line that starts with 9999, which closes the list.")
            .arg(aData, shown(folder));
    }
    return {};
}

} // namespace duolink
