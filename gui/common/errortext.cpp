// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errortext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include "core/support/atomicwrite.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/session/session.h"

namespace duolink {
namespace {

QString withStep(const QString& step, const QString& text)
{
    return step.isEmpty() ? text : step + QStringLiteral(": ") + text;
}

} // namespace

QString fileErrorText(const QString& file, const QString& what, const QString& reason)
{
    QString text = QDir::toNativeSeparators(file) + QStringLiteral(": ") + what;
    if (!reason.isEmpty() && reason.compare(what, Qt::CaseInsensitive) != 0)
        text += QStringLiteral(" (%1)").arg(reason);
    return text;
}

QString commandErrorText(const Outcome& failure, const QString& step, const QString& folder)
{
    const QString message = QString::fromStdString(failure.message);
    // Out of memory, or a failure nobody expected: the message alone.
    if (failure.outOfMemory || failure.unexpected)
        return QString::fromLocal8Bit(failure.message.c_str());
    if (!failure.file.empty()) {
        const QString name = QFile::decodeName(failure.file.c_str());
        const QFileInfo file = folder.isEmpty() ? QFileInfo(name) : QFileInfo(QDir(folder), name);
        if (message == QString::fromStdString(ioErrorMessage(ENOENT))) {
            const QString folder = file.absolutePath();
            if (!folder.isEmpty() && !QFileInfo(folder).isDir())
                return withStep(step, QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder)));
        }
        QString shown = file.fileName().isEmpty() ? file.filePath() : file.fileName();
        if (failure.line > 0)
            shown += QStringLiteral(", line %1").arg(failure.line);
        const int err = failure.systemError;
        // No reason to add, or the message is the system's own already.
        if (err == 0 || failure.message == fileErrorText(err))
            return shown + QStringLiteral(": ") + message;
        QString reason = QString::fromLocal8Bit(std::strerror(err));
        // A file that could not be made: the folder is the one to fix.
        if ((err == EACCES || err == EPERM || err == EROFS) && !file.exists())
            reason = QStringLiteral("cannot make files in %1: %2")
                         .arg(QDir::toNativeSeparators(file.absolutePath()), reason);
        return fileErrorText(shown, message, reason);
    }
    QString text = withStep(step, message);
    if (failure.inPresentations)
        text += QStringLiteral("\n\nThe training diverged; a smaller BETA in %1 may help.")
                    .arg(QString::fromLatin1(kParametersFileName));
    return text;
}

} // namespace duolink
