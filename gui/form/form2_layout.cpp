// SPDX-License-Identifier: GPL-3.0-or-later
// The form's controls in their designed places: built once, and the pane
// given whatever room the window has beyond its designed size.
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>

#include "pane/consoleview.h"
#include "form/fieldmarks.h"
#include "form/fieldtext.h"
#include "form/form2.h"

namespace duolink {
namespace {

// Layout, in pixels.
constexpr int kColumnA = 24;
constexpr int kColumnB = 104;
constexpr int kMiddle = 192;
constexpr int kMiddleRight = 280;
constexpr int kFirstRow = 40;
constexpr int kRowPitch = 32;
constexpr int kFieldWidth = 65;
constexpr int kFieldHeight = 21;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
// The form's designed size, and the pane's place in it. A bigger
// window gives all its extra width and height to the pane.
constexpr QSize kFormSize(850, 419);
constexpr QRect kPane(449, 16, 385, 353);
constexpr int kPaneRightMargin = kFormSize.width() - kPane.right() - 1;
constexpr int kPaneBottomMargin = kFormSize.height() - kPane.bottom() - 1;

QFont windowFont()
{
    QFont font;
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        font = QFont(QStringLiteral("Tahoma"));
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPointSize(8);
    return font;
}

} // namespace

void TForm2::buildControls()
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("VELD Duolink 200z - pattern association"));
    setFont(windowFont());
    resize(kFormSize);
    move(0, 0);

    const auto label = [this](const char* name, const char* caption, int x, int y) {
        auto* l = new QLabel(QString::fromLatin1(caption), this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    const auto field = [this](const QString& name, int x, int y, int width) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setGeometry(x, y, width, kFieldHeight);
        return e;
    };
    const auto button = [this](const char* name, const char* caption, int x, int y) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, kButtonWidth, kButtonHeight);
        // A focused button takes Return as well as Space.
        b->setAutoDefault(true);
        return b;
    };

    Label1 = label("Label1", "A data", kColumnA, 18);
    Label2 = label("Label2", "B Data", kColumnB, 18);
    Label3 = label("Label3", "Current Idx", kMiddle, 18);
    Label4 = label("Label4", "R2 Correlation", kMiddle, 64);

    // Both are displays: the program never reads them back.
    Edit1 = field(QStringLiteral("Edit1"), kMiddle, 34, 49);
    Edit1->setReadOnly(true);
    Edit2 = field(QStringLiteral("Edit2"), kMiddle, 80, 121);
    Edit2->setReadOnly(true);

    Button1 = button("Button1", "Add", kMiddle, 120);
    Button2 = button("Button2", "Delete", kMiddleRight, 120);
    Button3 = button("Button3", "Update", kMiddle, 152);
    Button4 = button("Button4", "Next", kMiddle, 184);
    Button5 = button("Button5", "Previous", kMiddleRight, 184);
    Button6 = button("Button6", "Solve", kMiddle, 216);
    Button7 = button("Button7", "Predict", kMiddleRight, 216);
    Button8 = button("Button8", "Exit", kColumnA, 344);

    Memo1 = new ConsoleView(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(kPane);
    // Ctrl+C and the pane's menu copy as Edit > Copy does: asking first when
    // it is much, with progress.
    Memo1->setCopyCommand([this] { copyPane(); });

    Button9 = button("Button9", "Reset", kMiddle, 248);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(kColumnA, 312, 217, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Button10 = button("Button10", "Save Matrix", kColumnA + 176, 344);
    Button11 = button("Button11", "Load Matrix", kColumnA + 88, 344);

    // Edit3..Edit10 hold A, Edit11..Edit18 B.
    for (int k = 0; k < 16; ++k) {
        const int row = k % 8;
        const int x = k < 8 ? kColumnA : kColumnB;
        (k < 8 ? aFields_ : bFields_)[row] =
            field(QStringLiteral("Edit%1").arg(k + 3), x, kFirstRow + row * kRowPitch, kFieldWidth);
    }

    fieldTips_ = new FullTextTips(this);
    for (QLineEdit* edit : {Edit1, Edit2})
        fieldTips_->watch(edit);
    // The data fields' tooltips also say how a field is read.
    fieldMarks_ = new FieldMarks(this);
    for (int i = 0; i < 8; ++i)
        fieldMarks_->watch(aFields_[i], QStringLiteral("A%1").arg(i + 1));
    for (int i = 0; i < 8; ++i)
        fieldMarks_->watch(bFields_[i], QStringLiteral("B%1").arg(i + 1));

    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm2::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm2::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm2::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TForm2::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TForm2::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TForm2::Button9Click);
    connect(Button10, &QPushButton::clicked, this, &TForm2::Button10Click);
    connect(Button11, &QPushButton::clicked, this, &TForm2::Button11Click);

}

QSize TForm2::sizeHint() const
{
    return kFormSize;
}

QSize TForm2::minimumSizeHint() const
{
    return kFormSize;
}

void TForm2::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Memo1->setGeometry(kPane.x(), kPane.y(), width() - kPane.x() - kPaneRightMargin,
                       height() - kPane.y() - kPaneBottomMargin);
}

} // namespace duolink
