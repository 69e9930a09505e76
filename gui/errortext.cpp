#include "gui/errortext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include "core/engine/errors.h"
#include "core/engine/solve.h"

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

QString commandErrorText(const RunError& error, const QString& step)
{
    const QString message = QString::fromStdString(error.what());
    if (!error.file().empty()) {
        const QFileInfo file(QFile::decodeName(error.file().c_str()));
        if (message == QString::fromStdString(ioErrorMessage(ENOENT))) {
            const QString folder = file.absolutePath();
            if (!folder.isEmpty() && !QFileInfo(folder).isDir())
                return withStep(step, QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder)));
        }
        QString name = file.fileName().isEmpty() ? file.filePath() : file.fileName();
        if (error.line() > 0)
            name += QStringLiteral(", line %1").arg(error.line());
        const int err = error.systemError();
        if (err == 0)
            return name + QStringLiteral(": ") + message;
        QString reason = QString::fromLocal8Bit(std::strerror(err));
        // A file that could not be made: the folder is the one to fix.
        if ((err == EACCES || err == EPERM || err == EROFS) && !file.exists())
            reason = QStringLiteral("cannot make files in %1: %2")
                         .arg(QDir::toNativeSeparators(file.absolutePath()), reason);
        return fileErrorText(name, message, reason);
    }
    QString text = withStep(step, message);
    if (error.inPresentations())
        text += QStringLiteral("\n\nThe training diverged; a smaller BETA in %1 may help.")
                    .arg(QString::fromLatin1(kParametersFileName));
    return text;
}

} // namespace duolink
