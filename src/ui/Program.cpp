#include "ui/Program.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QTimer>
#include <iostream>

#include "platform/os/ProcessSignals.h"
#include "ui/VersionInfo.h"

namespace quorvane {

namespace {

const char* const UsageText =
    "Usage: quorvane [FILE]\n"
    "Opens the window that converts a video file into a Flash Video (FLV) file;\n"
    "FILE, when given, is opened as the video file.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

QIcon ProgramIcon() {
    QIcon Icon;
    for (const char* Size : {"16x16", "24x24", "32x32", "48x48", "64x64", "256x256"}) {
        Icon.addFile(QString(":/icons/%1/apps/quorvane.png").arg(Size));
    }
    return Icon;
}

// Qt's file dialog reads and writes its folder history and view in the
// user's and the system's settings. The program keeps none: settings are
// looked for below /dev/null, where none can be read or created.
void KeepNoSettings() {
    for (const QSettings::Format Format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        for (const QSettings::Scope Scope : {QSettings::UserScope, QSettings::SystemScope}) {
            QSettings::setPath(Format, Scope, "/dev/null");
        }
    }
}

// Killed during a run (a logout, kill, Ctrl-C in its terminal), the program
// still leaves no temporary file and no output cut inside a tag.
void LeaveFilesWholeWhenKilled() {
    platform::HandleEndingSignals(platform::EndProcessBySignal);
}

}  // namespace

TProgram::TProgram() {
    KeepNoSettings();
    LeaveFilesWholeWhenKilled();
    // The window places its controls at fixed design positions: Fusion's
    // metrics are the same on every desktop, so the captions fit everywhere.
    QApplication::setStyle("Fusion");
    QGuiApplication::setDesktopFileName("quorvane");
    QApplication::setWindowIcon(ProgramIcon());
    platform::SetMainThreadDispatcher(&Dispatcher);
}

TProgram::~TProgram() {
    platform::SetMainThreadDispatcher(nullptr);
}

std::optional<int> TProgram::AnswerInformationOptions(const std::vector<std::string>& Arguments) {
    for (size_t I = 1; I < Arguments.size(); ++I) {
        if (Arguments[I] == "--help") {
            std::cout << UsageText;
            return 0;
        }
        if (Arguments[I] == "--version") {
            std::cout << "Quorvane " << GetVersionString() << '\n';
            return 0;
        }
    }
    return std::nullopt;
}

// The toolkit has taken its own options ("-platform", "--style"...) by now.
bool TProgram::TakeCommandLine(TForm1& Form1, const QStringList& Arguments) {
    const bool UnknownOption = Arguments.size() == 2 && Arguments[1].startsWith("--");
    if (Arguments.size() > 2 || UnknownOption) {
        if (UnknownOption) {
            std::cerr << "quorvane: unknown option " << Arguments[1].toStdString() << '\n';
        }
        std::cerr << UsageText;
        return false;
    }
    if (Arguments.size() == 2) {
        const QString& FileName = Arguments[1];
        QTimer::singleShot(0, &Form1, [&Form1, FileName] { Form1.OpenVideoFile(FileName); });
    }
    return true;
}

void TProgram::ShowMainWindow(TForm1& Form1) {
    Form1.SetApplicationTitle("Quorvane");
    Form1.setWindowTitle("Quorvane " + QString::fromStdString(GetVersionString()));
    Form1.show();
}

}  // namespace quorvane
