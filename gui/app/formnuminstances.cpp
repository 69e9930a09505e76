// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/formnuminstances.h"

#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "common/dialogs.h"
#include "core/guard/instances.h"

namespace duolink {

namespace {

QString fromSystem(const std::string& text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
}

// Sends a count's lines to Memo1 and its messages to message boxes. The
// lines go in together before anything is shown and at the end: a line at a
// time costs Solve milliseconds with a few hundred processes.
class WindowLog : public InstanceLog {
public:
    WindowLog(QWidget* window, QPlainTextEdit* memo, Dialogs& dialogs)
        : window_(window), memo_(memo), dialogs_(dialogs) {}
    ~WindowLog() override { showLines(); }
    void line(const std::string& text) override { lines_.append(fromSystem(text)); }
    void message(const std::string& text) override
    {
        showLines();
        dialogs_.messageBox(window_, fromSystem(text));
    }

protected:
    void showLines()
    {
        if (!lines_.isEmpty())
            memo_->appendPlainText(lines_.join(QLatin1Char('\n')));
        lines_.clear();
    }

    QWidget* window_;
    QPlainTextEdit* memo_;
    Dialogs& dialogs_;
    QStringList lines_;
};

// Button1's listing also stops at each match.
class MatchNoticeLog : public WindowLog {
public:
    using WindowLog::WindowLog;
    void matchFound(int entriesBefore) override
    {
        showLines();
        dialogs_.inputBox(window_, QStringLiteral("Process Found at ") + QString::number(entriesBefore), QString(), QString());
    }
};

QFont windowFont()
{
    QFont font = QFontDatabase::hasFamily(QStringLiteral("Tahoma"))
        ? QFont(QStringLiteral("Tahoma"))
        : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    return font;
}

} // namespace

TFormNumInstances::TFormNumInstances(QWidget* owner, Dialogs& dialogs, ProcessSource& processes)
    : QWidget(owner, Qt::Window), dialogs_(dialogs), processes_(processes)
{
    setObjectName(QStringLiteral("FormNumInstances"));
    setWindowTitle(QStringLiteral("FormNumInstances"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(windowFont());
    setGeometry(0, 0, 434, 250);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(88, 8, 265, 129);
    Memo1->setPlainText(QStringLiteral("Memo1"));

    Button1 = new QPushButton(QStringLiteral("Button1"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(88, 160, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TFormNumInstances::Button1Click);

    Button2 = new QPushButton(QStringLiteral("Exit"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(256, 160, 75, 25);
    connect(Button2, &QPushButton::clicked, this, &TFormNumInstances::Button2Click);

    hide();
}

bool TFormNumInstances::numInstancesValid()
{
    WindowLog log(this, Memo1, dialogs_);
    return countInstances(processes_, log).valid();
}

void TFormNumInstances::Button1Click()
{
    MatchNoticeLog log(this, Memo1, dialogs_);
    countInstances(processes_, log);
}

void TFormNumInstances::Button2Click()
{
    endProgramNow();
}

void endProgramNow()
{
    std::cout.flush();
    std::fflush(nullptr);
    std::exit(0);
}

} // namespace duolink
