// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/workingfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "core/engine/solve.h"

namespace duolink {

QString workingFolderProblem(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return QCoreApplication::translate("duolink", "no such folder");
    if (!info.isDir())
        return QCoreApplication::translate("duolink", "not a folder");
    if (!info.isReadable() || !info.isExecutable())
        return QCoreApplication::translate("duolink", "permission denied");
    return {};
}

QString workingFolderStatus(const QString& path)
{
    const QString folder = QDir::toNativeSeparators(path).toHtmlEscaped();
    if (QFileInfo(QDir(path).filePath(QString::fromLatin1(kParametersFileName))).isFile())
        return QCoreApplication::translate("duolink", "Working folder: %1").arg(folder);
    return QCoreApplication::translate("duolink", "Working folder: %1 \u2014 <a href=\"settings\">parameters file "
                                                  "missing</a>")
        .arg(folder);
}

} // namespace duolink
