// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's top-level window: the form in the middle, the menu bar that
// lists the form's commands, and the status bar with the working folder.
#include <QMainWindow>

class QLabel;
class QMenu;

namespace duolink {

class FormActions;
class TForm2;

class AppWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit AppWindow(QWidget* parent = nullptr);

    TForm2* form() const { return form_; }
    // The program's commands, which the menus list.
    FormActions* actions() const { return actions_; }
    QLabel* folderStatus() const { return folderStatus_; }
    // The lasting status text ("Pair i of n"), at the right of the bar.
    QLabel* listStatus() const { return listStatus_; }
    // While a data field is not read whole: which, and how ("A1 is read as 0
    // (decimal comma?)"); hidden otherwise.
    QLabel* fieldNote() const { return fieldNote_; }
    // File -> Open Recent: the lists opened or saved last, missing ones greyed.
    QMenu* recentMenu() const { return recentMenu_; }

    // Position and size from the last run (QSettings, the user's config
    // folder); the designed size at the top left corner the first time.
    void restoreWindowState();
    void saveWindowState() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void updateFolderStatus();
    // The caption, then the list's file name and the modified mark.
    void updateTitle();
    void fillRecentMenu();
    // A notice (timeoutMs > 0) shows over the folder for a while; a lasting
    // text replaces the one at the right.
    void showStatus(const QString& text, int timeoutMs);

    TForm2* form_;
    FormActions* actions_;
    QLabel* folderStatus_;
    QLabel* listStatus_;
    QLabel* fieldNote_;
    QMenu* recentMenu_ = nullptr;
};

} // namespace duolink
