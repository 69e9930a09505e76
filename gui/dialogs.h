#pragma once
// The modal dialogs the window's commands open. The program uses the real Qt
// dialogs; headless tests plug in their own answers.
#include <QString>
#include <optional>

class QWidget;

namespace duolink {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A file to read; std::nullopt when the user cancels. `lastName` is the
    // name chosen last in this dialog (offered again).
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& filter, const QString& lastName) = 0;
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& lastName) = 0;
    // A modal input box with OK and Cancel; returns the typed text (callers ignore it).
    virtual QString inputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& text) = 0;
    // A plain message box.
    virtual void messageBox(QWidget* parent, const QString& text) = 0;
    // The standard error box for a failed command.
    virtual void errorBox(QWidget* parent, const QString& message) = 0;
    // A yes/no question; true for yes. Dialogs that are never asked one may
    // leave it: the default answer is yes.
    virtual bool question(QWidget* parent, const QString& text);
};

// The real dialogs.
Dialogs& qtDialogs();

} // namespace duolink
