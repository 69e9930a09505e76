// SPDX-License-Identifier: GPL-3.0-or-later
// The form's commands beyond its buttons: keyboard navigation, the working folder, saving the pane's text
// and the About box.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QUrl>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/state.h"
#include "core/session/session.h"
#include "core/support/versiontext.h"
#include "pane/consoleview.h"
#include "common/dialogs.h"
#include "common/errortext.h"
#include "common/savetarget.h"
#include "form/form2.h"
#include "app/formactions.h"
#include "pane/paneprogress.h"
#include "list/patternlistwindow.h"
#include "app/windowplacement.h"
#include "app/helpwindow.h"
#include "app/manual.h"
#include "controllers/listcontroller.h"
#include "app/settingsdialog.h"
#include "common/workingfolder.h"

namespace duolink {

void TForm2::setUpKeyboard()
{
    // Tab: the data fields column by column, the buttons in reading order,
    // the pane, and last the two displays.
    std::vector<QWidget*> chain(aFields_.begin(), aFields_.end());
    chain.insert(chain.end(), bFields_.begin(), bFields_.end());
    chain.insert(chain.end(), {Button1, Button2, Button3, Button4, Button5, Button6, Button7, Button9, Button8,
                               Button11, Button10, Memo1, Edit1, Edit2});
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        QWidget::setTabOrder(chain[i], chain[i + 1]);

    // Return in a data field goes on to the next one, and from B8 to Add, so
    // that a pair is typed and added without the mouse.
    for (size_t i = 0; i < 16; ++i) {
        QWidget* next = chain[i + 1];
        connect(static_cast<QLineEdit*>(chain[i]), &QLineEdit::returnPressed, next, [next] {
            // Moving on by keyboard shows the focus mark, as Tab does.
            next->window()->setAttribute(Qt::WA_KeyboardFocusChange);
            next->setFocus(Qt::TabFocusReason);
        });
    }

    for (size_t i = 0; i < 8; ++i) {
        aFields_[i]->setAccessibleName(tr("A value %1").arg(i + 1));
        bFields_[i]->setAccessibleName(tr("B value %1").arg(i + 1));
    }
    Edit1->setAccessibleName(tr("Current index"));
    Edit2->setAccessibleName(tr("R2 correlation"));
    Memo1->setAccessibleName(tr("Output"));

    // Page Up and Page Down step through the list, except in the pane,
    // which scrolls with them.
    Memo1->installEventFilter(this);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (dropsInputDuringRun(watched, event))
        return true;
    if (watched == Memo1 && event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown) && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- List window ----------------------------------------------------------------

void TForm2::showPatternList()
{
    if (!patternListWindow_) {
        patternListWindow_ = new PatternListWindow(lists_, this);
        placeAuxiliaryWindow(patternListWindow_, this, QStringLiteral("patternList"));
        patternListWindow_->setProperty(kHelpSectionProperty, QStringLiteral("pattern-list-files"));
    }
    patternListWindow_->show();
    patternListWindow_->raise();
    patternListWindow_->activateWindow();
}

// --- Working folder ---------------------------------------------------------------

void TForm2::openWorkingFolder()
{
    if (const std::optional<QString> folder = dialogs().folderName(this, workingFolder()))
        setWorkingFolder(*folder);
}

bool TForm2::setWorkingFolder(const QString& path)
{
    const QString problem = workingFolderProblem(path);
    if (!problem.isEmpty()) {
        dialogs().errorBox(this, fileErrorText(path, tr("cannot be the working folder"), problem) +
                                     tr("\nThe working folder is still %1.")
                                         .arg(QDir::toNativeSeparators(workingFolder())));
        return false;
    }
    session().setFolder(QDir(path).canonicalPath().toStdString());
    emit workingFolderChanged();
    return true;
}

// --- Save Output As ---------------------------------------------------------------

void TForm2::saveOutputAs()
{
    const std::optional<QString> name =
        dialogs().saveFileName(this, tr("Text files (*.txt);;All files (*)"), lastOutputName_);
    if (!name || name->isEmpty())
        return;
    lastOutputName_ = *name;
    if (mayReplace(this, dialogs(), *name) && saveOutput(*name))
        emit statusMessage(tr("Output saved to %1").arg(QDir::toNativeSeparators(*name)), 5000);
}

bool TForm2::saveOutput(const QString& path)
{
    // The pane holds 8-bit text; the file gets it as UTF-8, one line each.
    // It is written a piece of lines at a time, so that a pane of hundreds of
    // megabytes is never copied whole, and a big one shows its progress.
    constexpr qsizetype kLinesPerPiece = 65536;
    bool cancelled = false;
    const qsizetype lines = Memo1->lineCount();
    PaneProgress progress(this, tr("Saving the output to %1\u2026").arg(QFileInfo(path).fileName()),
                          Memo1->textBytes() + uint64_t(lines), paneLimits_);
    const QString reason = replaceFileWith(path, [&](const std::function<bool(std::string_view)>& put) {
        std::string piece;
        uint64_t done = 0;
        for (qsizetype first = 0; first < lines; first += kLinesPerPiece) {
            piece.clear();
            Memo1->appendText(piece, first, std::min(lines, first + kLinesPerPiece));
            piece += '\n';
            const bool ascii = std::none_of(piece.begin(), piece.end(), [](char c) { return c & 0x80; });
            const QByteArray utf8 =
                ascii ? QByteArray() : QString::fromLatin1(piece.data(), qsizetype(piece.size())).toUtf8();
            if (!put(ascii ? std::string_view(piece) : std::string_view(utf8.constData(), size_t(utf8.size()))))
                return false;
            done += piece.size();
            if (!progress.advance(done)) {
                cancelled = true;
                return false;
            }
        }
        return true;
    });
    if (cancelled) {
        emit statusMessage(tr("Save Output As cancelled; nothing was written"), kNoticeMs);
        return false;
    }
    if (reason.isEmpty())
        return true;
    dialogs().errorBox(this, fileErrorText(path, tr("output not saved"), reason));
    return false;
}

void TForm2::copyPane()
{
    if (!Memo1->hasSelection())
        return;
    const uint64_t bytes = Memo1->selectionBytes();
    if (bytes > paneLimits_.askBeforeCopying &&
        !dialogs().confirm(this, tr("Copy %1 of text to the clipboard? Programs you paste it into may be slow "
                                    "with that much; Save Output As writes it to a file instead.")
                                     .arg(sizeText(bytes))))
        return;
    PaneProgress progress(this, tr("Copying %1 to the clipboard\u2026").arg(sizeText(bytes)), bytes,
                          paneLimits_);
    const QString text = Memo1->selectedText([&](uint64_t done) { return progress.advance(done); });
    if (text.isNull()) {
        emit statusMessage(tr("Copy cancelled; the clipboard is as it was"), kNoticeMs);
        return;
    }
    QGuiApplication::clipboard()->setText(text);
}

// --- Settings ---------------------------------------------------------------------------

void TForm2::showSettings()
{
    if (isRunning())
        return;
    auto* dialog = new SettingsDialog(workingFolder(), engineMatrix(engine()), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (const ShapedDocument& shaped = lists_->shapedList(); shaped.active())
        dialog->takeLengthsFromList(shaped.pairs.shape.n, shaped.pairs.shape.m);
    if (!dialog->loadError().isEmpty()) {
        dialogs().errorBox(this, tr("Cannot open the settings: %1").arg(dialog->loadError()));
        delete dialog;
        return;
    }
    connect(dialog, &SettingsDialog::saved, this, [this](const QString& name) {
        emit workingFolderChanged();
        emit statusMessage(tr("Settings saved to %1").arg(name), kNoticeMs);
    });
    // A run never starts behind the (window-modal) dialog; if one does, the
    // dialog waits.
    connect(this, &TForm2::runStarted, dialog, [dialog] { dialog->setEnabled(false); });
    connect(this, &TForm2::runFinished, dialog, [dialog] { dialog->setEnabled(true); });
    dialog->open();
}

// --- Manual and About -------------------------------------------------------------------

void TForm2::showManual(const QString& section)
{
    if (!helpWindow_) {
        const QString manual = findManual(QCoreApplication::applicationDirPath());
        if (manual.isEmpty()) {
            dialogs().errorBox(this, tr("The user's manual was not found. It is installed with the program, "
                                        "in share/doc/duolink/manual.html."));
            return;
        }
        helpWindow_ = new HelpWindow(manual, this);
        placeAuxiliaryWindow(helpWindow_, this, QStringLiteral("help"));
    }
    if (!section.isEmpty())
        helpWindow_->showSection(section);
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void TForm2::showAbout()
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, tr("About Duolink"),
                                tr("Duolink %1").arg(QString::fromLatin1(DUOLINK_VERSION)), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::RichText);
    box->setInformativeText(
        tr("<p>Learns associations between pairs of number patterns and recalls them.</p>"
           "<p>%1<br>Offered under the <a href=\"%2\">GNU General Public License, version 3 or later</a> "
           "(%3), without any warranty.</p>"
           "<p>Built with Qt %4, running on Qt %5.</p>"
           "<p>Working folder: %6</p>")
            .arg(QString::fromLatin1(kCopyright.data(), qsizetype(kCopyright.size())).toHtmlEscaped(),
                 QString::fromLatin1(kLicenseUrl.data(), qsizetype(kLicenseUrl.size())),
                 QString::fromLatin1(kLicenseSpdx.data(), qsizetype(kLicenseSpdx.size())),
                 QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion()),
                 QDir::toNativeSeparators(workingFolder()).toHtmlEscaped()));
    QPushButton* manual = box->addButton(tr("User &Manual"), QMessageBox::HelpRole);
    manual->setObjectName(QStringLiteral("aboutManual"));
    connect(box, &QMessageBox::buttonClicked, this, [this, manual](QAbstractButton* button) {
        if (button == manual)
            showManual();
    });
    // The program's icon, or the one built in where none is set.
    const QIcon icon = QApplication::windowIcon().isNull()
                           ? QIcon(QStringLiteral(":/packaging/org.duolink.Duolink.svg"))
                           : QApplication::windowIcon();
    box->setIconPixmap(icon.pixmap(64));
    box->open();
}

} // namespace duolink
