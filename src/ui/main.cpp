// quorvane: the desktop window of the converter. It takes no options and
// keeps no settings: every start begins from the window's defaults.
#include <QApplication>

#include "ui/Program.h"

int main(int argc, char** argv) {
    QApplication Application(argc, argv);
    quorvane::TProgram Program;
    quorvane::TForm1 Form1;
    quorvane::TProgram::ShowMainWindow(Form1);
    return Application.exec();
}
