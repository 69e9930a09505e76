// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/dialogs.h"

#include "training/figureoptionsdialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTreeView>

namespace duolink {
namespace {

constexpr int kFileDialogWidth = 820;
constexpr int kFileDialogHeight = 500;

// The list's size, type and date columns as wide as what they show, the
// name taking the rest, so that none of them is cut short.
void fitFileColumns(QFileDialog& dialog)
{
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!list)
        return;
    QHeaderView* header = list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

// The file dialogs keep to their defaults: no title of their own, no default
// extension (a name typed without one is used as typed).
std::optional<QString> runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& filter,
                                     const QString& lastName, const QString& startFolder)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    // Open accepts a name that does not exist yet; opening it then reports
    // "File not found" like any other failed open.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The commands ask before they replace a file themselves, once, and also
    // for the name they make by adding an extension.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(filter);
    // Wide enough for the name, size, type and date columns side by side.
    dialog.setViewMode(QFileDialog::Detail);
    QSize size(kFileDialogWidth, kFileDialogHeight);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    dialog.resize(size);
    fitFileColumns(dialog);
    // The working folder, unless the last name chosen lies elsewhere.
    dialog.setDirectory(startFolder);
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
    explicit QtDialogs(std::function<QString()> startFolder) : startFolder_(std::move(startFolder)) {}

    std::optional<QString> openFileName(QWidget* parent, const QString& filter, const QString& lastName) override
    {
        return runFileDialog(parent, QFileDialog::AcceptOpen, filter, lastName, startFolder());
    }

    std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& lastName) override
    {
        return runFileDialog(parent, QFileDialog::AcceptSave, filter, lastName, startFolder());
    }

    std::optional<QString> folderName(QWidget* parent, const QString& start) override
    {
        const QString folder = QFileDialog::getExistingDirectory(parent, QObject::tr("Open Working Folder"), start);
        if (folder.isEmpty())
            return std::nullopt;
        return folder;
    }

    QString inputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& text) override
    {
        return QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, text);
    }

    bool question(QWidget* parent, const QString& text) override
    {
        return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(), text,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
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

    UnsavedAnswer unsavedQuestion(QWidget* parent, const QString& text) override
    {
        switch (QMessageBox::warning(parent, QGuiApplication::applicationDisplayName(), text,
                                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                     QMessageBox::Save)) {
        case QMessageBox::Save: return UnsavedAnswer::Save;
        case QMessageBox::Discard: return UnsavedAnswer::Discard;
        default: return UnsavedAnswer::Cancel;
        }
    }

    bool confirm(QWidget* parent, const QString& text) override
    {
        return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(), text,
                                     QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) == QMessageBox::Ok;
    }

    bool figureOptions(QWidget* parent, FigureOptions& options, bool raster) override
    {
        return askFigureOptions(parent, options, raster);
    }

private:
    QString startFolder() const { return startFolder_ ? startFolder_() : QDir::currentPath(); }

    std::function<QString()> startFolder_;
};

} // namespace


Dialogs& qtDialogs()
{
    // Never destroyed: dialogs may be wanted until the program ends.
    static QtDialogs* dialogs = new QtDialogs(nullptr);
    return *dialogs;
}

std::unique_ptr<Dialogs> makeQtDialogs(std::function<QString()> startFolder)
{
    return std::make_unique<QtDialogs>(std::move(startFolder));
}

} // namespace duolink
