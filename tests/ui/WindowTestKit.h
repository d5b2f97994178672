// Driving the real window in Qt Test: the window as the program shows it,
// files chosen in place of the dialogs, message boxes answered and
// recorded, runs waited for.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ui/Program.h"
#include "ui/Unit1.h"

namespace quorvane::test {

// A message box as it was shown.
struct TShownMessage {
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon;
    QMessageBox::StandardButtons Buttons;
};

// Answers every modal message box that comes up while it lives, with
// Answer where the box offers it and with its default button otherwise.
class TMessageBoxAnswerer : public QObject {
public:
    explicit TMessageBoxAnswerer(QMessageBox::StandardButton Answer = QMessageBox::Ok);

    std::vector<TShownMessage> Shown;

private:
    void AnswerOpenBox();

    QMessageBox::StandardButton Answer;
    QTimer Poll;
};

// Answers the program's real file dialogs that come up while it lives:
// the first with Names[0] typed and accepted, the next with Names[1], and
// a cancel once Names are used up. Folders and FileTypes: where each
// dialog opened, and the file type it showed.
class TFileDialogAnswerer : public QObject {
public:
    explicit TFileDialogAnswerer(std::vector<QString> Names = {});

    std::vector<QString> Folders;
    std::vector<QString> FileTypes;

private:
    void AnswerOpenDialog();

    std::vector<QString> Names;
    QTimer Poll;
};

// The end report of the run that has just ended, or none.
QMessageBox* EndReport(TForm1& Window);

// The main window as the program starts it; with Offer, these MP3 formats
// are offered in place of the installed codecs' ones.
std::unique_ptr<TForm1> ShowMainWindow(std::optional<TMp3FormatOffer> Offer = std::nullopt);

// An offer of Count made-up MP3 formats, "Format 0" and so on.
TMp3FormatOffer MadeUpOffer(int Count);

// Makes the dialog return Path (or a cancel, for an empty optional).
void ChooseFile(TFileDialog& Dialog, std::optional<std::filesystem::path> Path);
// Makes the dialog return Path once, then a cancel.
void ChooseFileOnce(TFileDialog& Dialog, const std::filesystem::path& Path);

// Chooses Path as the input file through Button1.
void OpenInput(TForm1& Window, const std::filesystem::path& Path);

// Runs Call once, inside the job's first progress report: the job waits
// in it, so a stop or a close requested there takes effect at the next
// frame.
void OnFirstProgress(TForm1& Window, std::function<void()> Call);

// Waits until the started job has ended and the window was reset.
bool WaitForRunToEnd(TForm1& Window);

// Whether this process holds a descriptor open on File.
bool FileIsOpen(const std::filesystem::path& File);

}  // namespace quorvane::test

// Qt Test's main for the window: the offscreen platform unless another is
// asked for, and the program's own set-up around the window.
#define QUORVANE_WINDOW_TEST_MAIN(TestClass)                  \
    int main(int argc, char** argv) {                         \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) { \
            qputenv("QT_QPA_PLATFORM", "offscreen");          \
        }                                                     \
        QApplication Application(argc, argv);                 \
        Application.setQuitOnLastWindowClosed(false);         \
        quorvane::TProgram Program;                           \
        TestClass Test;                                       \
        return QTest::qExec(&Test, argc, argv);               \
    }
