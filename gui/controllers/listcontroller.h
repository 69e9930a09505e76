// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's list commands on the session's pattern list: Add, Delete,
// Update, Next, Previous and Reset, each undoable, the pattern list files,
// and what the fields and the list window show. It says what to show through
// its signals; the form puts it into the fields.
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "core/patterns/patterns.h"
#include "core/session/listshape.h"

class QAction;
class QTimer;
class QWidget;

namespace duolink {

class Dialogs;
class ListHistory;
class Session;

class ListController : public QObject {
    Q_OBJECT
public:
    // Works on the list of `session`, which must outlive the controller;
    // boxes open over `window`.
    ListController(Session& session, std::function<Dialogs&()> dialogs, QWidget* window);

    // While locked (a Solve reads the list), the commands do nothing.
    void setLocked(bool locked) { locked_ = locked; }

    PatternList& list() { return list_; }
    const PatternList& list() const { return list_; }
    // The list of another shape; while it is active() the commands and the
    // list window work on it, and the form's fields are out of use.
    const ShapedDocument& shapedList() const { return shaped_; }
    // The current pair (1-based, 0 for none) and the length of the list in use.
    int currentPosition() const;
    int pairCount() const;

    // The commands; those that change the list can be undone ("Undo Delete
    // Pair 3"). Add and Update take the pair the fields hold.
    void add(const TPatternVector& a, const TPatternVector& b);
    void update(const TPatternVector& a, const TPatternVector& b);
    void remove();
    void reset();
    void next();
    void previous();
    // Makes `position` (1..patternCount) current and shows its pair, as Next
    // and Previous do.
    void browseTo(int position);

    // The list window's edits (listcontroller_editing.cpp), each undoable. Cells are
    // addressed by row (0-based) and value (0-based: the A values, then the
    // B values; parity elements are computed, never edited). A text that is
    // not read whole as a number, as the data fields read it, is refused
    // with a notice and nothing changes.
    bool setCell(int row, int value, const QString& text);
    // Pastes a block of texts (rows of cells) at (row, value); rows past the
    // end of the list are added. Refused whole when a cell is refused or the
    // block does not fit the pair's values.
    bool pasteBlock(int row, int value, const QList<QStringList>& block);
    // Appends a pair of zeros and makes it current.
    void addRow();
    // Deletes the pairs of `rows` (0-based) as one edit.
    void removePairs(QList<int> rows);
    // Values per pair (A then B, without the parity elements) and one value.
    int valueCount() const;
    double value(int row, int value) const;

    // The list as the user's document. Open replaces the list with a file's
    // pairs; when the list holds pairs that are in no file it first asks to
    // save them (Save, Discard, Cancel), before the file dialog.
    void openPatternList();
    void openPatternListFile(const QString& path);
    // Save writes the list to the file it came from or was saved to last,
    // asking for a name only the first time; Save As always asks. True when
    // the list was written.
    bool savePatternList();
    bool savePatternListAs();
    // Whether the program may close: when the list holds pairs that are in no
    // file, asks to save them (Save, Discard, Cancel).
    bool confirmDiscardList();
    // The list's file (absolute), empty before the list was opened or saved.
    const QString& documentPath() const { return documentPath_; }
    // Whether the list holds pairs that are in no file.
    bool documentModified() const { return list_.listChangedSinceFiles() || shaped_.changedSinceFiles(); }
    // The lists opened or saved last, newest first, at most kRecentCount
    // (QSettings); and forgetting them.
    static QStringList recentPatternLists();
    static void clearRecentPatternLists();
    static constexpr int kRecentCount = 8;

    // Before the program ends without the quit question: writes the pairs
    // that are in no file to recovered-YYYYMMDD-HHMMSS.csv in `folder` and
    // names it on standard error. Returns its path, or "" when there was
    // nothing to keep or it could not be written (said on standard error).
    QString writeRecoveryList(const QString& folder);
    // At start: when `folder` holds a recovery list not offered before, says
    // so and offers to open it (the newest).
    void offerRecoveryList(const QString& folder);

    // Emits "Pair i of n" (position and length of the list), until replaced.
    void showListPosition();
    // Ends a notice early: a later status text replaces it.
    void endNotice();

    // Edit -> Undo and Redo.
    QAction* createUndoAction(QObject* parent) const;
    QAction* createRedoAction(QObject* parent) const;

    // How long a notice stays in the status bar.
    static constexpr int kNoticeMs = 4000;

signals:
    // What the fields show: the Current Idx value, the stored pair at
    // `position`, the R2 field back at zero.
    void indexShown(int value);
    void pairShown(int position);
    void r2Cleared();
    // A text for the status bar, shown for timeoutMs (0: until replaced).
    void statusMessage(const QString& text, int timeoutMs);
    // After a command that changed the list or the current position.
    void changed();
    // The list's file or its saved state changed.
    void documentChanged();

private:
    void addNow(const TPatternVector& a, const TPatternVector& b);
    // For a list of another shape: where its pairs are edited instead.
    QString shapedFieldsText(const QString& command) const;
    // Moves the current pair of the list of another shape by `step`.
    void browseShaped(int step, const QString& refusal);
    // The value of a cell text, or a notice that says why it is refused.
    bool readCell(int row, int value, const QString& text, double& read);
    // Whether a block of `rows` by `width` fits at (row, value); a notice
    // says why not.
    bool blockFits(int row, int value, qsizetype rows, qsizetype width);
    bool readBlock(int row, int value, const QList<QStringList>& block, std::vector<std::vector<double>>& values);
    void putBlock(int row, int value, const std::vector<std::vector<double>>& values);
    void putValue(int row, int value, double read);
    // Brings the fixed list's pair `row` (0-based) to its parity.
    void putFixedParity(int row);
    // A pair of zeros at the end of the list in use, made current.
    void appendZeroPair();
    void removeNow();
    void updateNow(const TPatternVector& a, const TPatternVector& b);
    void resetNow();
    // Why a list command did not act, or what it did, for a few seconds;
    // then the position again.
    void showListNotice(const QString& text);
    QString refusalText(const QString& command) const;
    // After Next, Previous or a row chosen in the list window.
    void showBrowsedPair();
    // After an undo, a redo or an opened file: the index, the pair, the status.
    void showRestoredList();
    // Before the list is replaced: true when it may go (saved, discarded or
    // nothing to lose), false when the user cancelled.
    bool mayReplaceList(const QString& question);
    // Not while a run holds the list, and only once unsaved pairs are saved or given up.
    bool mayOpenAnotherList();
    bool saveTo(const QString& path);
    void loadFile(const QString& path);
    static void rememberRecent(const QString& path);

    Session& session_;
    PatternList& list_;
    ShapedDocument& shaped_;
    std::function<Dialogs&()> dialogs_;
    QWidget* window_;
    ListHistory* history_;
    QTimer* noticeEnd_;
    QString lastPatternListName_;
    QString documentPath_;
    bool locked_ = false;
};

} // namespace duolink
