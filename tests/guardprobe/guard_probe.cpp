// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the single-instance check headless for the two-copy test.
//   guard_probe hold   check and print PASS, then again for each line on stdin
//   guard_probe late   print READY, then check and print PASS for each line on stdin
//   guard_probe check  check, print PASS
//   guard_probe window DIR   the window working in DIR with unsaved pairs;
//                            writes their list text to DIR/expected.csv,
//                            prints READY, and on a line on stdin runs Solve
// Every notice the check shows is printed to stdout and answered at once.
#include <QApplication>

#include <fstream>
#include <iostream>
#include <string>

#include "core/session/session.h"
#include "common/dialogs.h"
#include "form/form2.h"
#include "app/guard.h"
#include "controllers/listcontroller.h"

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
    const std::string mode = argc >= 2 ? argv[1] : "";
    if (mode != "hold" && mode != "late" && mode != "check" && !(mode == "window" && argc == 3)) {
        std::cerr << "usage: guard_probe hold|late|check|window DIR\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PrintingDialogs dialogs;

    if (mode == "window") {
        duolink::TForm2 form;
        form.setDialogs(&dialogs);
        if (!form.setWorkingFolder(QString::fromLocal8Bit(argv[2])))
            return 2;
        // Values whose text must come back exactly.
        const double values[][16] = {
            {0.1, 1, -0.0, 2.5e-7, 1e300, 0, 3, 0.7, 1, 1, 1, 0, 0, 0, 0, 1.0 / 3},
            {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
        };
        for (const auto& pair : values) {
            duolink::TPatternVector a{}, b{};
            for (int k = 0; k < 8; ++k) {
                a[k + 1] = pair[k];
                b[k + 1] = pair[k + 8];
            }
            form.lists()->add(a, b);
        }
        std::string text;
        if (!form.session().patternListText(text).ok())
            return 2;
        std::ofstream(std::string(argv[2]) + "/expected.csv", std::ios::binary) << text;
        std::cout << "READY" << std::endl;
        std::string line;
        std::getline(std::cin, line);
        form.Button6Click();
        std::cout << "PASS" << std::endl;
        return 0;
    }

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
