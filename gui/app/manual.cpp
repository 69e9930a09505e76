// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/manual.h"

#include <QDir>
#include <QFileInfo>

namespace duolink {

QStringList manualCandidates(const QString& programDir)
{
    const QDir dir(programDir);
    return {
        // Installed: PREFIX/bin/duolink and PREFIX/share/doc/duolink/.
        dir.absoluteFilePath(QStringLiteral("../share/doc/duolink/manual.html")),
        // The build folder: the programs at its top, the manual in docs/.
        dir.absoluteFilePath(QStringLiteral("docs/manual.html")),
        // The source tree the build came from, as Markdown.
        QStringLiteral(DUOLINK_SOURCE_DIR "/docs/manual.md"),
    };
}

QString findManual(const QString& programDir)
{
    for (const QString& candidate : manualCandidates(programDir))
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate);
    return {};
}

} // namespace duolink
