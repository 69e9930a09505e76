// SPDX-License-Identifier: GPL-3.0-or-later
#include "list/listhistory.h"

#include <QAction>
#include <QKeySequence>
#include <QUndoCommand>
#include <QUndoStack>

#include "core/patterns/patterns.h"
#include "core/session/listshape.h"

namespace duolink {
namespace {

// The pairs and the position of a list, as they stand, and those of the
// list of another shape.
struct ListState {
    std::array<TPatternVector, kPatternCapacity + 1> a;
    std::array<TPatternVector, kPatternCapacity + 1> b;
    int count = 0;
    int current = 0;
    ShapedPairs shaped;
    int shapedRow = 0;

    static ListState of(const PatternList& list, const ShapedDocument* shaped)
    {
        ListState state{list.aPatterns, list.bPatterns, list.patternCount, list.currentIndex, {}, 0};
        if (shaped) {
            state.shaped = shaped->pairs;
            state.shapedRow = shaped->currentRow;
        }
        return state;
    }
    void restoreTo(PatternList& list, ShapedDocument* shaped) const
    {
        list.aPatterns = a;
        list.bPatterns = b;
        list.patternCount = count;
        list.currentIndex = current;
        if (shaped) {
            shaped->pairs = this->shaped;
            shaped->currentRow = shapedRow;
        }
    }
    bool operator==(const ListState& other) const
    {
        return a == other.a && b == other.b && count == other.count && current == other.current &&
               shaped.shape == other.shaped.shape && shaped.a == other.shaped.a && shaped.b == other.shaped.b &&
               shapedRow == other.shapedRow;
    }
};

class ListCommand : public QUndoCommand {
public:
    ListCommand(const QString& name, std::unique_ptr<ListState> before, std::unique_ptr<ListState> after,
                ListHistory* history)
        : QUndoCommand(name), before_(std::move(before)), after_(std::move(after)), history_(history)
    {
    }
    void undo() override { put(*before_); }
    void redo() override
    {
        // The command itself did it the first time.
        if (!done_) {
            done_ = true;
            return;
        }
        put(*after_);
    }

private:
    void put(const ListState& state)
    {
        state.restoreTo(history_->list(), history_->shapedList());
        emit history_->listRestored();
    }

    std::unique_ptr<ListState> before_;
    std::unique_ptr<ListState> after_;
    ListHistory* history_;
    bool done_ = false;
};

} // namespace

ListHistory::ListHistory(PatternList& list, QObject* parent)
    : QObject(parent), list_(list), stack_(new QUndoStack(this))
{
    // Each step keeps two lists of about 40 kB.
    stack_->setUndoLimit(500);
}

ListHistory::~ListHistory() = default;

void ListHistory::record(const QString& name, const std::function<void()>& command)
{
    auto before = std::make_unique<ListState>(ListState::of(list_, shaped_));
    command();
    auto after = std::make_unique<ListState>(ListState::of(list_, shaped_));
    if (*after == *before)
        return;
    stack_->push(new ListCommand(name, std::move(before), std::move(after), this));
}

QAction* ListHistory::createUndoAction(QObject* parent) const
{
    QAction* action = stack_->createUndoAction(parent, tr("&Undo"));
    action->setObjectName(QStringLiteral("undoAction"));
    action->setShortcuts(QKeySequence::Undo);
    return action;
}

QAction* ListHistory::createRedoAction(QObject* parent) const
{
    QAction* action = stack_->createRedoAction(parent, tr("&Redo"));
    action->setObjectName(QStringLiteral("redoAction"));
    action->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    return action;
}

} // namespace duolink
