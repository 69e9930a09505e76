// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The modal dialogs the window's commands open. The program uses the real Qt
// dialogs; headless tests plug in their own answers.
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace duolink {

struct FigureOptions;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A file to read; std::nullopt when the user cancels. `lastName` is the
    // name chosen last in this dialog (offered again).
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& filter, const QString& lastName) = 0;
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& lastName) = 0;
    // A folder, starting at `start`; std::nullopt when the user cancels (as
    // programs that never change their folder always do).
    virtual std::optional<QString> folderName(QWidget*, const QString&) { return std::nullopt; }
    // A modal input box with OK and Cancel; returns the typed text (callers ignore it).
    virtual QString inputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& text) = 0;
    // A yes-or-no question; true for yes. No is the default answer.
    virtual bool question(QWidget* parent, const QString& text) = 0;
    // A plain message box.
    virtual void messageBox(QWidget* parent, const QString& text) = 0;
    // The standard error box for a failed command.
    virtual void errorBox(QWidget* parent, const QString& message) = 0;
    // Before closing with unsaved work: Save (the default), Discard or Cancel
    // (as Esc gives).
    enum class UnsavedAnswer { Save, Discard, Cancel };
    virtual UnsavedAnswer unsavedQuestion(QWidget*, const QString&) { return UnsavedAnswer::Cancel; }
    // Asks before a long piece of work ("Copy 1.7 GB to the clipboard?");
    // true for OK.
    virtual bool confirm(QWidget*, const QString&) { return true; }
    // The size, resolution and caption of a figure about to be saved
    // (`raster`: a PNG, whose pixels matter); false when the user cancels.
    virtual bool figureOptions(QWidget*, FigureOptions&, bool /*raster*/) { return true; }
};

// The real dialogs; the file dialogs start in the process's current folder.
Dialogs& qtDialogs();
// The real dialogs, the file dialogs starting in the folder `startFolder`
// gives at the time (a window's working folder).
std::unique_ptr<Dialogs> makeQtDialogs(std::function<QString()> startFolder);

} // namespace duolink
