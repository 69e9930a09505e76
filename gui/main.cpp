#include <QApplication>

#include <clocale>
#include <csignal>

#include "gui/form2.h"
#include "gui/guard.h"

int main(int, char** argv)
{
    // Past a file-size limit a write fails with EFBIG ("Disk full") instead
    // of the signal ending the program with the user's work.
    std::signal(SIGXFSZ, SIG_IGN);

    // The program takes no command-line arguments; only the program name is
    // passed on, so that no option reaches the toolkit either.
    int argc = 1;
    char* args[] = {argv[0], nullptr};
    QApplication app(argc, args);
    // The toolkit adopts the user's locale; number texts always use ".".
    std::setlocale(LC_NUMERIC, "C");

    duolink::TForm2 form;
    duolink::createInstanceWindow(&form);
    form.show();
    QApplication::exec();
    return 0;
}
