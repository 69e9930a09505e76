// SPDX-License-Identifier: GPL-3.0-or-later
#include "form/fieldmarks.h"

#include <QAction>
#include <QEvent>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>

#include <array>
#include <charconv>
#include <string>

#include "form/fieldtext.h"

namespace duolink {
namespace {

// The value as the shortest text that reads back to it; a zero is "0"
// whatever its sign.
QString valueText(double value)
{
    if (value == 0.0)
        return QStringLiteral("0");
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

QString numberText(const FieldReading& reading)
{
    return QString::fromUtf8(reading.number.data(), static_cast<qsizetype>(reading.number.size()));
}

} // namespace

QString readingTip(const FieldReading& reading)
{
    const QString value = valueText(reading.value);
    switch (reading.issue) {
    case FieldIssue::None:
        return {};
    case FieldIssue::DecimalComma:
        return FieldMarks::tr("Read as %1: use \".\" as the decimal point").arg(value);
    case FieldIssue::TextAfter:
        return FieldMarks::tr("Read as %1: the text after \"%2\" is ignored").arg(value, numberText(reading));
    case FieldIssue::NotANumber:
        return FieldMarks::tr("Read as %1: the text does not start with a number").arg(value);
    case FieldIssue::TooLarge:
        return FieldMarks::tr("Read as %1: the number is too large").arg(value);
    }
    return {};
}

QString readingNote(const QString& name, const FieldReading& reading)
{
    QString why;
    switch (reading.issue) {
    case FieldIssue::None:
        return {};
    case FieldIssue::DecimalComma:
        why = FieldMarks::tr("decimal comma?");
        break;
    case FieldIssue::TextAfter:
        why = FieldMarks::tr("text after \"%1\" ignored").arg(numberText(reading));
        break;
    case FieldIssue::NotANumber:
        why = FieldMarks::tr("not a number");
        break;
    case FieldIssue::TooLarge:
        why = FieldMarks::tr("too large");
        break;
    }
    return FieldMarks::tr("%1 is read as %2 (%3)").arg(name, valueText(reading.value), why);
}

QString decimalPointLine(const QString& desktopPoint)
{
    if (desktopPoint == QLatin1String("."))
        return {};
    return FieldMarks::tr("Duolink always uses \".\" as the decimal point, whatever the desktop's language.");
}

FieldMarks::FieldMarks(QObject* parent) : QObject(parent), desktopPoint_(QLocale::system().decimalPoint()) {}

void FieldMarks::watch(QLineEdit* field, const QString& name)
{
    QAction* mark = field->addAction(field->style()->standardIcon(QStyle::SP_MessageBoxWarning),
                                     QLineEdit::TrailingPosition);
    mark->setObjectName(QStringLiteral("readingMark"));
    mark->setVisible(false);
    fields_.push_back({field, name, mark, {}, {}});
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, [this, field] {
        if (Field* f = find(field))
            update(*f);
    });
    update(fields_.back());
}

void FieldMarks::setDesktopDecimalPoint(const QString& point)
{
    desktopPoint_ = point;
    for (Field& field : fields_)
        updateTip(field);
}

bool FieldMarks::isMarked(const QLineEdit* field) const
{
    const Field* f = find(field);
    return f && !f->readingTip.isEmpty();
}

QAction* FieldMarks::markOf(const QLineEdit* field) const
{
    const Field* f = find(field);
    return f ? f->mark : nullptr;
}

// A new size or font changes what fits: look again before a tooltip shows.
bool FieldMarks::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        if (Field* f = find(watched))
            updateTip(*f);
    return QObject::eventFilter(watched, event);
}

FieldMarks::Field* FieldMarks::find(const QObject* edit)
{
    for (Field& field : fields_)
        if (field.edit == edit)
            return &field;
    return nullptr;
}

const FieldMarks::Field* FieldMarks::find(const QObject* edit) const
{
    return const_cast<FieldMarks*>(this)->find(edit);
}

void FieldMarks::update(Field& field)
{
    const std::string text = field.edit->text().toStdString();
    const FieldReading reading = readField(text);
    field.readingTip = readingTip(reading);
    field.note = readingNote(field.name, reading);
    if (field.mark->isVisible() != !reading.whole())
        field.mark->setVisible(!reading.whole());
    updateTip(field);
    updateNote();
}

// The whole text when it does not fit, then how it is read and, on a desktop
// with another decimal point, which one the program uses.
void FieldMarks::updateTip(Field& field)
{
    QStringList lines;
    if (!fieldTextFits(field.edit))
        lines << field.edit->text();
    if (!field.readingTip.isEmpty()) {
        lines << field.readingTip;
        if (const QString line = decimalPointLine(desktopPoint_); !line.isEmpty())
            lines << line;
    }
    const QString tip = lines.join(QLatin1Char('\n'));
    if (field.edit->toolTip() != tip) {
        field.edit->setToolTip(tip);
        field.mark->setToolTip(tip);
        field.edit->setAccessibleDescription(field.readingTip);
    }
}

void FieldMarks::updateNote()
{
    QString note;
    int others = 0;
    for (const Field& field : fields_) {
        if (field.note.isEmpty())
            continue;
        if (note.isEmpty())
            note = field.note;
        else
            ++others;
    }
    if (others == 1)
        note += tr("; 1 more field marked");
    else if (others > 1)
        note += tr("; %1 more fields marked").arg(others);
    if (note != note_) {
        note_ = note;
        emit noteChanged(note_);
    }
}

} // namespace duolink
