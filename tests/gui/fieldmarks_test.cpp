// SPDX-License-Identifier: GPL-3.0-or-later
// Data fields that are not read whole as a number: their mark, tooltip and
// the status bar's note, while the value read stays the specified one.
#include <QAction>
#include <QLabel>
#include <QPushButton>

#include "core/patterns/fieldreading.h"
#include "form/fieldmarks.h"
#include "form/fieldtext.h"
#include "app/appwindow.h"
#include "tests/gui/fixture.h"

using namespace duolink;

namespace {

TEST(FieldMarks, TipAndNoteSayWhatIsReadAndWhy)
{
    const struct {
        std::string_view text;
        const char* tip; // "" for a field read whole: no mark
        const char* note;
    } cases[] = {
        {"0,5", "Read as 0: use \".\" as the decimal point", "A1 is read as 0 (decimal comma?)"},
        {"-2,5", "Read as -2: use \".\" as the decimal point", "A1 is read as -2 (decimal comma?)"},
        {"-0,5", "Read as 0: use \".\" as the decimal point", "A1 is read as 0 (decimal comma?)"},
        {"1.5x", "Read as 1.5: the text after \"1.5\" is ignored", "A1 is read as 1.5 (text after \"1.5\" ignored)"},
        {" 0.10 5", "Read as 0.1: the text after \"0.10\" is ignored",
         "A1 is read as 0.1 (text after \"0.10\" ignored)"},
        {"abc", "Read as 0: the text does not start with a number", "A1 is read as 0 (not a number)"},
        {"-", "Read as 0: the text does not start with a number", "A1 is read as 0 (not a number)"},
        {".", "Read as 0: the text does not start with a number", "A1 is read as 0 (not a number)"},
        {"1e400", "Read as 0: the number is too large", "A1 is read as 0 (too large)"},
        {"1e-400", "", ""},
        {"", "", ""},
        {"   ", "", ""},
        {"2.5e3 ", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const FieldReading reading = readField(c.text);
        EXPECT_EQ(readingTip(reading), c.tip);
        EXPECT_EQ(readingNote("A1", reading), c.note);
    }
    EXPECT_EQ(decimalPointLine("."), "");
    EXPECT_EQ(decimalPointLine(","), "Duolink always uses \".\" as the decimal point, whatever the desktop's language.");
}

TEST_F(MainWindow, ADecimalCommaIsMarkedNotedAndStillReadAsZero)
{
    AppWindow window;
    TForm2* f = window.form();
    const auto ui = std::make_unique<FormControls>(f);
    FieldMarks* marks = f->fieldMarks();
    marks->setDesktopDecimalPoint(QStringLiteral(","));
    QLineEdit* a1 = ui->Edit3;
    QLineEdit* b2 = ui->Edit12;
    EXPECT_FALSE(marks->isMarked(a1));
    EXPECT_TRUE(window.fieldNote()->isHidden());

    a1->clear();
    testinput::type(a1, "0,5");
    EXPECT_TRUE(marks->isMarked(a1));
    EXPECT_TRUE(marks->markOf(a1)->isVisible());
    EXPECT_EQ(a1->toolTip(), "Read as 0: use \".\" as the decimal point\n"
                             "Duolink always uses \".\" as the decimal point, whatever the desktop's language.");
    EXPECT_EQ(window.fieldNote()->text(), "A1 is read as 0 (decimal comma?)");
    EXPECT_FALSE(window.fieldNote()->isHidden());

    // Add goes ahead as ever: 0 is stored, and the field still shows its text.
    ui->Button1->click();
    EXPECT_EQ(f->patternList().patternCount, 1);
    EXPECT_EQ(f->patternList().aPatterns[1][1], 0.0);
    EXPECT_EQ(a1->text(), "0,5");

    // One note for all marked fields; a long text keeps its whole text first.
    b2->setText("1.5 and a text too long for the field");
    EXPECT_EQ(window.fieldNote()->text(), "A1 is read as 0 (decimal comma?); 1 more field marked");
    EXPECT_TRUE(b2->toolTip().startsWith("1.5 and a text too long for the field\nRead as 1.5: the text after \"1.5\""));

    // Every change of the text: undo, Predict's results, Next and Previous.
    testinput::key(a1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(a1->text(), "");
    EXPECT_FALSE(marks->isMarked(a1));
    EXPECT_EQ(window.fieldNote()->text(), "B2 is read as 1.5 (text after \"1.5\" ignored)");
    testinput::key(a1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(a1->text(), "0,5");
    EXPECT_TRUE(marks->isMarked(a1));
    f->UpdateB(TPatternVector{});
    EXPECT_FALSE(marks->isMarked(b2));
    EXPECT_EQ(window.fieldNote()->text(), "A1 is read as 0 (decimal comma?)");
    ui->Button5->click(); // Previous: nothing before pair 1, the fields stay
    EXPECT_TRUE(marks->isMarked(a1));
    ui->Button4->click(); // Next: pair 2 is empty
    EXPECT_FALSE(marks->isMarked(a1));
    EXPECT_FALSE(marks->markOf(a1)->isVisible());
    EXPECT_EQ(a1->toolTip(), "");
    EXPECT_TRUE(window.fieldNote()->isHidden());

    // The mark takes room from the text: a marked text no wider than one
    // that just fits unmarked is given whole in the tooltip.
    QString widest = "1";
    for (a1->setText(widest); fieldTextFits(a1); a1->setText(widest))
        widest += '1';
    widest.chop(1);
    QString marked = ",";
    while (a1->fontMetrics().horizontalAdvance(marked + '1') <= a1->fontMetrics().horizontalAdvance(widest))
        marked += '1';
    a1->setText(marked);
    EXPECT_TRUE(marks->isMarked(a1));
    EXPECT_TRUE(a1->toolTip().startsWith(marked + "\nRead as 0: use")) << a1->toolTip().toStdString();
}

} // namespace
