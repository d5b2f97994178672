#include "ui/Program.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QTimer>
#include <iostream>

#include "platform/ProcessSignals.h"
#include "ui/VersionInfo.h"

namespace quorvane {

namespace {

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

bool TProgram::TakeCommandLine(TForm1& Form1, const QStringList& Arguments) {
    if (Arguments.size() > 2) {
        std::cerr << "Usage: quorvane [VIDEO]\n";
        return false;
    }
    if (Arguments.size() == 2) {
        const QString FileName = Arguments[1];
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
