#include "gui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace duolink {
namespace {

// The file dialogs keep to their defaults: no title of their own, no default
// extension (a name typed without one is used as typed).
std::optional<QString> runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode,
                                     const QString& filter, const QString& lastName)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    // Open accepts a name that does not exist yet; opening it then reports
    // "File not found" like any other failed open.
    dialog.setFileMode(QFileDialog::AnyFile);
    // Saving over an existing file asks nothing.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(filter);
    if (!lastName.isEmpty())
        dialog.selectFile(lastName);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return files.first();
}

class QtDialogs final : public Dialogs {
public:
    std::optional<QString> openFileName(QWidget* parent, const QString& filter, const QString& lastName) override
    {
        return runFileDialog(parent, QFileDialog::AcceptOpen, filter, lastName);
    }

    std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& lastName) override
    {
        return runFileDialog(parent, QFileDialog::AcceptSave, filter, lastName);
    }

    QString inputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& text) override
    {
        return QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, text);
    }

    void messageBox(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                        QMessageBox::Ok, parent);
        box.exec();
    }

    void errorBox(QWidget* parent, const QString& message) override
    {
        QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), message);
    }

    bool question(QWidget* parent, const QString& text) override
    {
        return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(), text,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    }
};

} // namespace

bool Dialogs::question(QWidget*, const QString&)
{
    return true;
}

Dialogs& qtDialogs()
{
    static QtDialogs dialogs;
    return dialogs;
}

} // namespace duolink
