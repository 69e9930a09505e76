// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Undo and redo for the commands that change the pattern list: each is
// recorded as the list before and after it, so undoing puts back exactly
// what was there, pairs past the end of the list included.
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QUndoStack;

namespace duolink {

struct PatternList;
struct ShapedDocument;

class ListHistory : public QObject {
    Q_OBJECT
public:
    // Records the changes of `list`, which must outlive the history.
    explicit ListHistory(PatternList& list, QObject* parent = nullptr);
    ~ListHistory() override;

    // Runs `command`; when it changed the list or the position, records it
    // under `name` ("Delete Pair 3"), so that the menu offers "Undo Delete
    // Pair 3".
    void record(const QString& name, const std::function<void()>& command);

    QUndoStack* stack() const { return stack_; }
    PatternList& list() const { return list_; }
    // Records the list of another shape `shaped` with the list, which must
    // outlive the history too.
    void alsoRecord(ShapedDocument& shaped) { shaped_ = &shaped; }
    ShapedDocument* shapedList() const { return shaped_; }
    // Edit -> Undo and Redo, with their standard keys and the command's name.
    QAction* createUndoAction(QObject* parent) const;
    QAction* createRedoAction(QObject* parent) const;

signals:
    // After an undo or a redo put a list back: the window shows it.
    void listRestored();

private:
    PatternList& list_;
    ShapedDocument* shaped_ = nullptr;
    QUndoStack* stack_;
};

} // namespace duolink
