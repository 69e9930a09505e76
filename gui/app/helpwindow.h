// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Help -> User Manual: the manual in a window of the program's own, with its
// contents, search, back and forward, and a way to hand it to the browser.
#include <QMainWindow>
#include <QString>

class QAction;
class QLineEdit;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace duolink {

// The anchor of a heading, as the manual's HTML names it: lower case, letters,
// digits, blanks and hyphens kept, blanks made hyphens ("Run → Settings…"
// gives "run--settings").
QString headingSlug(const QString& heading);

class HelpWindow : public QMainWindow {
    Q_OBJECT
public:
    // Shows the manual at `file` (HTML, or Markdown in a source tree).
    explicit HelpWindow(const QString& file, QWidget* parent = nullptr);

    // Brings the heading whose anchor is `slug` to the top; an unknown or
    // empty one shows the beginning. False when there is no such heading.
    bool showSection(const QString& slug);
    // Finds `text` after the cursor, from the top again past the end; false
    // when the manual does not hold it.
    bool find(const QString& text, bool backward = false);

    QTextBrowser* browser() const { return browser_; }
    QTreeWidget* contents() const { return contents_; }
    QLineEdit* searchField() const { return search_; }
    QAction* openInBrowserAction() const { return openInBrowser_; }

private:
    void buildToolBar();
    void buildContents();
    void scrollToBlock(int position);
    void searchFrom(bool backward);

    QString file_;
    QTextBrowser* browser_;
    QTreeWidget* contents_;
    QLineEdit* search_;
    QAction* openInBrowser_;
};

} // namespace duolink
