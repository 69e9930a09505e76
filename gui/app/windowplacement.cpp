// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/windowplacement.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QSettings>
#include <QString>
#include <QWidget>

#include <algorithm>

namespace duolink {
namespace {

constexpr int kGap = 8;

QString settingsKey(const QString& key)
{
    return QStringLiteral("windows/%1/geometry").arg(key);
}

// Saves a window's geometry when it is hidden and when the program ends.
class GeometryKeeper : public QObject {
public:
    GeometryKeeper(QWidget* window, const QString& key) : QObject(window), window_(window), key_(key)
    {
        window->installEventFilter(this);
        connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
            if (window_->isVisible())
                save();
        });
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window_ && event->type() == QEvent::Hide && !window_->isMinimized())
            save();
        return false;
    }
    void save() const { QSettings().setValue(settingsKey(key_), window_->saveGeometry()); }

private:
    QWidget* window_;
    QString key_;
};

} // namespace

QRect placeBeside(const QRect& owner, QSize size, const QRect& available)
{
    size = size.boundedTo(available.size());
    QRect frame(QPoint(owner.right() + 1 + kGap, owner.top()), size);
    if (frame.right() > available.right()) {
        frame.moveRight(owner.left() - 1 - kGap);
        if (frame.left() < available.left()) {
            // No room at either side: below the owner, else above it, where
            // one of them leaves the owner uncovered.
            frame.moveLeft(available.right() + 1 - size.width());
            if (owner.bottom() + kGap + size.height() <= available.bottom())
                frame.moveTopLeft({owner.left(), owner.bottom() + 1 + kGap});
            else if (owner.top() - kGap - size.height() >= available.top())
                frame.moveTopLeft({owner.left(), owner.top() - kGap - size.height()});
        }
    }
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() + 1 - size.width()));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() + 1 - size.height()));
    return frame;
}

int firstStartWidth(int designedWidth, int designedPaneWidth, int paneColumns, int charWidth, int availableWidth)
{
    const int wanted = designedWidth - designedPaneWidth + paneColumns * charWidth;
    return std::max(designedWidth, std::min(wanted, availableWidth * 9 / 10));
}

void placeAuxiliaryWindow(QWidget* window, QWidget* owner, const QString& key)
{
    new GeometryKeeper(window, key);
    if (window->restoreGeometry(QSettings().value(settingsKey(key)).toByteArray()))
        return;
    const QWidget* main = owner->window();
    const QScreen* screen = main->screen();
    if (!screen)
        return;
    // The frame's title bar and borders as the main window has them.
    const QSize decoration = main->frameGeometry().size() - main->geometry().size();
    const QRect frame = placeBeside(main->frameGeometry(), window->size() + decoration, screen->availableGeometry());
    window->resize(frame.size() - decoration);
    window->move(frame.topLeft());
}

} // namespace duolink
