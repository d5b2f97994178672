// quorvane: the desktop window of the converter. It takes one file name at
// most, the input to open, and keeps no settings: every start begins from
// the window's defaults.
#include <QApplication>

#include "ui/Program.h"

int main(int argc, char** argv) {
    if (const std::optional<int> Status = quorvane::TProgram::AnswerInformationOptions(
            std::vector<std::string>(argv, argv + argc))) {
        return *Status;
    }
    QApplication Application(argc, argv);
    quorvane::TProgram Program;
    quorvane::TForm1 Form1;
    if (!quorvane::TProgram::TakeCommandLine(Form1, QApplication::arguments())) {
        return 2;
    }
    quorvane::TProgram::ShowMainWindow(Form1);
    return Application.exec();
}
