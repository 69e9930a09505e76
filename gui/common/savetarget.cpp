// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/savetarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QWidget>

#include <cerrno>

#include "core/support/atomicwrite.h"
#include "common/dialogs.h"

namespace duolink {

bool mayReplace(QWidget* parent, Dialogs& dialogs, const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const int refusal = checkReplaceable(QFile::encodeName(path).toStdString());
    if (refusal == EISDIR || refusal == kNotRegularFile) {
        dialogs.errorBox(parent, QObject::tr("%1 %2; nothing was saved.\nChoose another name.")
                                     .arg(shown, QString::fromStdString(fileErrorText(refusal))));
        return false;
    }
    // Any other problem is reported by the save itself.
    if (refusal != 0 || !QFileInfo::exists(path))
        return true;
    return dialogs.question(parent, QObject::tr("%1 already exists. Replace it?").arg(QFileInfo(path).fileName()));
}

QString replaceFileWith(const QString& path,
                        const std::function<bool(const std::function<bool(std::string_view)>&)>& write)
{
    AtomicFile file(QFile::encodeName(path).toStdString());
    int error = file.open();
    if (!error) {
        const bool complete = write([&](std::string_view piece) {
            error = file.write(piece);
            return error == 0;
        });
        if (!error && !complete)
            return QObject::tr("cancelled");
        if (!error)
            error = file.commit();
    }
    return error ? QString::fromStdString(fileErrorText(error)) : QString();
}

QString replaceFileWith(const QString& path, std::string_view data)
{
    return replaceFileWith(path, [data](const std::function<bool(std::string_view)>& put) { return put(data); });
}

QString withSuffix(const QString& name, const char* suffix)
{
    return QFileInfo(name).suffix().isEmpty() ? name + QLatin1Char('.') + QLatin1String(suffix) : name;
}

} // namespace duolink
