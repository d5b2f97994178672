// What the program sets up around its window: the toolkit's style, the
// program's icon, and the dispatcher that runs the job's main-thread calls
// in the Qt event loop.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/QtMainThreadDispatcher.h"
#include "ui/Unit1.h"

namespace quorvane {

class TProgram {
public:
    // After the QApplication has been created.
    TProgram();
    ~TProgram();
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    // Titles the main window ("Quorvane" for the task list, the caption
    // with the version text) and shows it.
    static void ShowMainWindow(TForm1& Form1);

    // --help and --version, looked at before the toolkit starts (they need
    // no display): the exit status once printed, or nothing when the window
    // is to open. Arguments: those of main, the program's name first.
    static std::optional<int> AnswerInformationOptions(const std::vector<std::string>& Arguments);

    // The command line, "quorvane [FILE]" (the arguments the toolkit left):
    // FILE, when given, is opened as the input once the window is up, as
    // file managers' "Open with" expects. False, with the usage printed,
    // for more than one argument or an option the program lacks.
    static bool TakeCommandLine(TForm1& Form1, const QStringList& Arguments);

private:
    TQtMainThreadDispatcher Dispatcher;
};

}  // namespace quorvane
