// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/helpwindow.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QDesktopServices>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <vector>

namespace duolink {
namespace {

constexpr int kPositionRole = Qt::UserRole;
constexpr int kSlugRole = Qt::UserRole + 1;

} // namespace

QString headingSlug(const QString& heading)
{
    QString slug;
    for (const QChar c : heading.toLower()) {
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_'))
            slug += c;
        else if (c == QLatin1Char(' '))
            slug += QLatin1Char('-');
    }
    return slug;
}

HelpWindow::HelpWindow(const QString& file, QWidget* parent)
    : QMainWindow(parent, Qt::Window), file_(file), browser_(new QTextBrowser(this)),
      contents_(new QTreeWidget(this)), search_(new QLineEdit(this)), openInBrowser_(nullptr)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(tr("Duolink Manual"));
    setAttribute(Qt::WA_QuitOnClose, false);

    browser_->setObjectName(QStringLiteral("manualBrowser"));
    // Links to the web go to the browser; the manual's own links stay here.
    browser_->setOpenExternalLinks(true);
    contents_->setObjectName(QStringLiteral("manualContents"));
    contents_->setHeaderHidden(true);
    contents_->setAccessibleName(tr("Contents"));
    auto* splitter = new QSplitter(this);
    splitter->addWidget(contents_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 640});
    setCentralWidget(splitter);
    buildToolBar();
    connect(contents_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { scrollToBlock(item->data(0, kPositionRole).toInt()); });
    connect(contents_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { scrollToBlock(item->data(0, kPositionRole).toInt()); });

    browser_->setSource(QUrl::fromLocalFile(file_));
    buildContents();
    connect(browser_, &QTextBrowser::sourceChanged, this, &HelpWindow::buildContents);
    resize(960, 720);
}

// Back, Forward, the search field and Open in Browser, with their keys.
void HelpWindow::buildToolBar()
{
    QToolBar* bar = addToolBar(tr("Navigation"));
    bar->setObjectName(QStringLiteral("helpToolBar"));
    bar->setMovable(false);
    QAction* back = bar->addAction(tr("Back"), browser_, &QTextBrowser::backward);
    back->setShortcuts(QKeySequence::Back);
    back->setEnabled(false);
    QAction* forward = bar->addAction(tr("Forward"), browser_, &QTextBrowser::forward);
    forward->setShortcuts(QKeySequence::Forward);
    forward->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    bar->addSeparator();
    search_->setObjectName(QStringLiteral("manualSearch"));
    search_->setPlaceholderText(tr("Find in the manual (Ctrl+F)"));
    search_->setClearButtonEnabled(true);
    search_->setMaximumWidth(320);
    bar->addWidget(search_);
    QAction* findNext = bar->addAction(tr("Next"), this, [this] { searchFrom(false); });
    findNext->setShortcuts(QKeySequence::FindNext);
    QAction* findPrevious = bar->addAction(tr("Previous"), this, [this] { searchFrom(true); });
    findPrevious->setShortcuts(QKeySequence::FindPrevious);
    bar->addSeparator();
    openInBrowser_ = bar->addAction(tr("Open in Browser"), this,
                                    [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(file_)); });
    openInBrowser_->setObjectName(QStringLiteral("openInBrowser"));

    auto* focusSearch = new QAction(this);
    focusSearch->setShortcuts(QKeySequence::Find);
    connect(focusSearch, &QAction::triggered, this, [this] {
        search_->setFocus();
        search_->selectAll();
    });
    addAction(focusSearch);
    auto* close = new QAction(this);
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence::Close});
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
    connect(search_, &QLineEdit::returnPressed, this, [this] { searchFrom(false); });
    connect(search_, &QLineEdit::textChanged, this, [this] { search_->setStyleSheet(QString()); });
}

// The headings of the document shown, as a tree by their level.
void HelpWindow::buildContents()
{
    contents_->clear();
    std::vector<QTreeWidgetItem*> parents;
    for (QTextBlock block = browser_->document()->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        const QString text = block.text().trimmed();
        if (level < 2 || text.isEmpty() || text == tr("Contents"))
            continue;
        while (parents.size() > static_cast<size_t>(level - 2))
            parents.pop_back();
        auto* item = parents.empty() ? new QTreeWidgetItem(contents_) : new QTreeWidgetItem(parents.back());
        item->setText(0, text);
        item->setData(0, kPositionRole, block.position());
        item->setData(0, kSlugRole, headingSlug(text));
        while (parents.size() < static_cast<size_t>(level - 1))
            parents.push_back(item);
    }
    contents_->expandAll();
}

void HelpWindow::scrollToBlock(int position)
{
    QTextCursor cursor(browser_->document());
    cursor.setPosition(position);
    browser_->setTextCursor(cursor);
    const QTextBlock block = browser_->document()->findBlock(position);
    const QRectF place = browser_->document()->documentLayout()->blockBoundingRect(block);
    browser_->verticalScrollBar()->setValue(static_cast<int>(place.top()));
}

bool HelpWindow::showSection(const QString& slug)
{
    for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
        if ((*it)->data(0, kSlugRole).toString() == slug) {
            contents_->setCurrentItem(*it);
            scrollToBlock((*it)->data(0, kPositionRole).toInt());
            return true;
        }
    }
    browser_->verticalScrollBar()->setValue(0);
    return false;
}

bool HelpWindow::find(const QString& text, bool backward)
{
    if (text.isEmpty())
        return false;
    const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (browser_->find(text, flags))
        return true;
    // Once more from the other end.
    QTextCursor cursor(browser_->document());
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    browser_->setTextCursor(cursor);
    return browser_->find(text, flags);
}

void HelpWindow::searchFrom(bool backward)
{
    const bool found = find(search_->text(), backward);
    search_->setStyleSheet(found || search_->text().isEmpty() ? QString()
                                                             : QStringLiteral("background: #f6d4d4"));
    statusBar()->showMessage(found || search_->text().isEmpty() ? QString() : tr("Not found"), 3000);
}

} // namespace duolink
