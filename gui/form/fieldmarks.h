// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Data fields that say how they will be read. A field whose text is not read
// whole as a number (a decimal comma, text after the number, no number, a
// number too large) carries a warning icon, and its tooltip says what the
// program uses and why. One note for the status bar names the first such
// field. The value read never changes: only what the window shows does.
#include <QObject>
#include <QString>

#include <vector>

#include "core/patterns/fieldreading.h"

class QAction;
class QLineEdit;

namespace duolink {

// The tooltip line for a reading: "Read as 0: use "." as the decimal point".
// Empty for a field read whole.
QString readingTip(const FieldReading& reading);
// The status bar's note for the field called `name`: "A1 is read as 0
// (decimal comma?)". Empty for a field read whole.
QString readingNote(const QString& name, const FieldReading& reading);
// The line that says the program's decimal point, for a desktop whose own
// (QLocale::system().decimalPoint()) is another one; empty otherwise.
QString decimalPointLine(const QString& desktopPoint);

class FieldMarks : public QObject {
    Q_OBJECT
public:
    explicit FieldMarks(QObject* parent = nullptr);

    // Follows every change of `field`'s text from now on; `name` is how the
    // note calls it ("A1"). Takes over the field's tooltip: the whole text
    // when it does not fit, then how it is read when it is not read whole.
    void watch(QLineEdit* field, const QString& name);
    // The desktop's decimal point; the system locale's unless set.
    void setDesktopDecimalPoint(const QString& point);

    bool isMarked(const QLineEdit* field) const;
    // The warning icon of `field` (hidden while the field is read whole).
    QAction* markOf(const QLineEdit* field) const;
    // The note for the first marked field, counting the others; empty when
    // no field is marked.
    const QString& note() const { return note_; }

signals:
    void noteChanged(const QString& note);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Field {
        QLineEdit* edit;
        QString name;
        QAction* mark;
        QString readingTip; // empty while read whole
        QString note;
    };
    Field* find(const QObject* edit);
    const Field* find(const QObject* edit) const;
    void update(Field& field);
    void updateTip(Field& field);
    void updateNote();

    std::vector<Field> fields_;
    QString desktopPoint_;
    QString note_;
};

} // namespace duolink
