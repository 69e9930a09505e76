// Runs the single-instance check headless for the two-copy test.
//   guard_probe hold   check, print PASS, wait for a line on stdin, check again, print PASS
//   guard_probe check  check, print PASS
// Every notice the check shows is printed to stdout and answered at once.
#include <QApplication>

#include <cstring>
#include <iostream>
#include <string>

#include "gui/dialogs.h"
#include "gui/guard.h"

namespace {

class PrintingDialogs : public duolink::Dialogs {
public:
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&) override { return std::nullopt; }
    QString inputBox(QWidget*, const QString& caption, const QString& prompt, const QString& text) override
    {
        std::cout << caption.toStdString() << '\n' << prompt.toStdString() << '\n' << text.toStdString() << std::endl;
        return text;
    }
    bool question(QWidget*, const QString&) override { return false; }
    void messageBox(QWidget*, const QString& text) override { std::cout << text.toStdString() << std::endl; }
    void errorBox(QWidget*, const QString& message) override { std::cout << message.toStdString() << std::endl; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || (std::strcmp(argv[1], "hold") != 0 && std::strcmp(argv[1], "check") != 0)) {
        std::cerr << "usage: guard_probe hold|check\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PrintingDialogs dialogs;

    duolink::checkInstances(nullptr, dialogs);
    std::cout << "PASS" << std::endl;
    if (std::strcmp(argv[1], "hold") == 0) {
        std::string line;
        std::getline(std::cin, line);
        duolink::checkInstances(nullptr, dialogs);
        std::cout << "PASS" << std::endl;
    }
    return 0;
}
