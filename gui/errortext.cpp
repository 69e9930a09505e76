#include "gui/errortext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

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
        const QString shown = file.fileName().isEmpty() ? file.filePath() : file.fileName();
        return shown + QStringLiteral(": ") + message;
    }
    QString text = withStep(step, message);
    if (failure.inPresentations)
        text += QStringLiteral("\n\nThe training diverged; a smaller BETA in %1 may help.")
                    .arg(QString::fromLatin1(kParametersFileName));
    return text;
}

} // namespace duolink
