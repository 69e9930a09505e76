// Runs the single-instance check headless for the two-copy test.
//   guard_probe hold   check and print PASS, then again for each line on stdin
//   guard_probe late   print READY, then check and print PASS for each line on stdin
//   guard_probe check  check, print PASS
// Every notice the check shows is printed to stdout and answered at once.
#include <QApplication>

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
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode != "hold" && mode != "late" && mode != "check") {
        std::cerr << "usage: guard_probe hold|late|check\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PrintingDialogs dialogs;

    if (mode == "late") {
        std::cout << "READY" << std::endl;
    } else {
        duolink::checkInstances(nullptr, dialogs);
        std::cout << "PASS" << std::endl;
    }
    if (mode == "check")
        return 0;
    for (std::string line; std::getline(std::cin, line);) {
        duolink::checkInstances(nullptr, dialogs);
        std::cout << "PASS" << std::endl;
    }
    return 0;
}
