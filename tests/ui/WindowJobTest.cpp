// Job control driven through the real window: whole conversions, Stop,
// closing during a run, the page lock, the output name and its questions,
// files dropped or given on the command line, and the messages for files
// that can't be used.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabBar>

#include <map>
#include <set>

#include "WindowTestKit.h"
#include "encoder/OutputFile.h"
#include "platform/os/TemporaryFile.h"
#include "support/Fixtures.h"
#include "support/FlvDecoding.h"
#include "support/FlvReader.h"
#include "support/FlvmetaCheck.h"
#include "support/MediaFixtures.h"
#include "support/TestPaths.h"
#include "ui/BitmapLayer.h"
#include "ui/PageControl.h"

using namespace quorvane;
namespace fs = std::filesystem;

namespace {

QString Name(const fs::path& Path) {
    return QString::fromStdString(Path.string());
}

size_t VideoTags(const test::FlvFile& File) {
    return std::count_if(File.Tags.begin(), File.Tags.end(),
                         [](const test::FlvTag& Tag) { return Tag.Type == 9; });
}

// The picture as 24-bit rows, top row first, as the ffmpeg tool gives them.
std::vector<uint8_t> Bgr24Rows(const QImage& Bitmap) {
    std::vector<uint8_t> Bytes;
    for (int Y = 0; Y < Bitmap.height(); ++Y) {
        for (int X = 0; X < Bitmap.width(); ++X) {
            const QRgb Pixel = Bitmap.pixel(X, Y);
            Bytes.insert(Bytes.end(),
                         {uint8_t(qBlue(Pixel)), uint8_t(qGreen(Pixel)), uint8_t(qRed(Pixel))});
        }
    }
    return Bytes;
}

// Records the folders a desktop is asked to show.
class TFolderOpener : public QObject {
    Q_OBJECT

public:
    TFolderOpener() { QDesktopServices::setUrlHandler("file", this, "Open"); }
    ~TFolderOpener() override { QDesktopServices::unsetUrlHandler("file"); }

    std::vector<QUrl> Opened;

public slots:
    void Open(const QUrl& Folder) { Opened.push_back(Folder); }
};

// Drags File over Window and drops it there; whether the window took it.
bool Drop(TForm1& Window, const fs::path& File) {
    QMimeData Data;
    Data.setUrls({QUrl::fromLocalFile(Name(File))});
    const QPoint Middle = Window.rect().center();
    QDragEnterEvent Enter(Middle, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    Enter.ignore();
    QApplication::sendEvent(&Window, &Enter);
    if (!Enter.isAccepted()) {
        return false;
    }
    QDropEvent Dropped(QPointF(Middle), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Window, &Dropped);
    return true;
}

fs::path ToneMp3(const std::string& Name, const std::string& Seconds) {
    return test::Fixture(Name, "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=" +
                                   Seconds + " -ac 2 -c:a libmp3lame -b:a 128k");
}

fs::path SmallVideo(const std::string& Seconds) {
    return test::Fixture("window-video-" + Seconds + "s.avi",
                         "-f lavfi -i testsrc2=size=32x24:rate=5:duration=" + Seconds +
                             " -c:v rawvideo -pix_fmt bgr24");
}

}  // namespace

class WindowJobControl : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> Window;
    fs::path Dir;

    // Opens Input and starts a run that writes Output.
    void Start(const fs::path& Input, const fs::path& Output) {
        test::OpenInput(*Window, Input);
        Window->PageControl1->setCurrentIndex(3);
        test::ChooseFile(Window->SaveDialog, Output);
        Window->StartButton->click();
    }

    void VerifyValidFlv(const fs::path& Output, size_t Frames,
                        const std::vector<std::string>& Warnings = {}) {
        const auto Check = test::FlvmetaAccepts(Output, Warnings);
        QVERIFY2(bool(Check), Check.message());
        QCOMPARE(VideoTags(test::ReadFlvFile(Output)), Frames);
    }

private slots:
    void init() {
        Window = test::ShowMainWindow();
        Dir = test::FreshDir(std::string("window-") + QTest::currentTestFunction());
    }
    void cleanup() { Window.reset(); }

    // Killed during a run (a logout), the program leaves no temporary audio
    // file, and an output that holds whole tags only.
    void aKilledProgramLeavesItsFilesWhole() {
        std::error_code Error;
        platform::TTemporaryFile Temporary((Dir / "out.flvaudio").string(), Error);
        QVERIFY(!Error);
        const auto Output = OutputFile::Create((Dir / "out.flv").string(), Error);
        QVERIFY(Output);
        const uint8_t Bytes[20] = {};
        Output->Write(Bytes, 15);
        Output->MarkWhole();
        Output->Write(Bytes, 5);
        Output->Flush();
        const pid_t Child = fork();
        if (Child == 0) {
            raise(SIGTERM);
            _exit(0);
        }
        int Status = 0;
        QCOMPARE(waitpid(Child, &Status, 0), Child);
        QVERIFY(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGTERM);
        QVERIFY(!fs::exists(Temporary.Name()));
        QCOMPARE(fs::file_size(Dir / "out.flv"), uintmax_t(15));
    }

    // After the run the input is opened again, with the audio chosen for it,
    // and the end report names the file and offers its folder.
    void aWholeConversionKeepsTheInputForTheNextRun() {
        const fs::path Tone = test::Fixture(
            "window-tone.mp3",
            "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 2 -c:a libmp3lame");
        test::OpenInput(*Window, test::AviBgr24());
        QCOMPARE(Window->VideoFileEdit->text(), Name(test::AviBgr24()));
        QVERIFY(!Window->VideoDetailsLabel->text().isEmpty());
        Window->MP3AudioRadioButton->click();
        test::ChooseFile(Window->OpenDialog1, Tone);
        Window->Button2->click();
        QCOMPARE(Window->AudioFileEdit->text(), Name(Tone));

        QImage FirstPreview;
        QString TitleWhileRunning;
        bool RunningState = false;
        test::OnFirstProgress(*Window, [&] {
            FirstPreview = Window->PreviewLayer->Bitmap.copy();
            TitleWhileRunning = Window->ApplicationTitle();
            RunningState = Window->ProgressBar->isVisible() && Window->StopButton->isEnabled() &&
                           !Window->StartButton->isEnabled();
        });
        Window->PageControl1->setCurrentIndex(3);
        test::ChooseFile(Window->SaveDialog, Dir / "clip");
        Window->StartButton->click();
        QVERIFY(test::WaitForRunToEnd(*Window));

        QVERIFY(RunningState);
        QCOMPARE(TitleWhileRunning, "0% encoded - " + Window->windowTitle());
        std::vector<uint8_t> FirstFrame = test::DecodeWithFfmpeg(test::AviBgr24(), "bgr24");
        FirstFrame.resize(64 * 48 * 3);
        QVERIFY(Bgr24Rows(FirstPreview) == FirstFrame);

        QCOMPARE(Window->StepLabel->text(), QString("Encoding finished successfully."));
        QVERIFY2(QRegularExpression(R"(^\d+ kBps - \d+[.,]\d\d MBytes$)")
                     .match(Window->StatusLabel->text())
                     .hasMatch(),
                 qPrintable(Window->StatusLabel->text()));
        QCOMPARE(Window->ApplicationTitle(), Window->windowTitle());
        QVERIFY(Window->ProgressBar->isHidden());
        QImage Black(64, 48, QImage::Format_RGB32);
        Black.fill(Qt::black);
        QCOMPARE(Window->PreviewLayer->Bitmap, Black);
        // The clip's six pictures change every other frame, and a frame
        // without a change writes no tag but the last: its empty tag keeps
        // the picture shown to the end.
        const fs::path Output = Dir / "clip.flv";
        VerifyValidFlv(Output, 4);
        const test::FlvFile File = test::ReadFlvFile(Output);
        QVERIFY(std::any_of(File.Tags.begin(), File.Tags.end(),
                            [](const test::FlvTag& Tag) { return Tag.Type == 8; }));

        QCOMPARE(Window->VideoFileEdit->text(), Name(test::AviBgr24()));
        QVERIFY(!Window->VideoDetailsLabel->text().isEmpty());
        QVERIFY(Window->MP3AudioRadioButton->isChecked());
        QCOMPARE(Window->AudioFileEdit->text(), Name(Tone));
        QVERIFY(Window->StartButton->isEnabled() && !Window->StopButton->isEnabled());
        QVERIFY(test::FileIsOpen(test::AviBgr24()));

        QMessageBox* Report = test::EndReport(*Window);
        QVERIFY(Report);
        QCOMPARE(Report->text(),
                 "Encoding finished successfully.\n\nThe video is in:\n" + Name(Output));
        TFolderOpener Desktop;
        const auto Buttons = Report->buttons();
        const auto OpenFolder = std::find_if(Buttons.begin(), Buttons.end(), [](auto* Button) {
            return Button->text() == "Open folder";
        });
        QVERIFY(OpenFolder != Buttons.end());
        (*OpenFolder)->click();
        QCOMPARE(Desktop.Opened, std::vector<QUrl>{QUrl::fromLocalFile(Name(Dir))});

        // Again, with other settings.
        Window->BlockWidthComboBox->setCurrentIndex(0);
        test::ChooseFile(Window->SaveDialog, Dir / "again.flv");
        Window->StartButton->click();
        QVERIFY(test::WaitForRunToEnd(*Window));
        VerifyValidFlv(Dir / "again.flv", 4);
    }

    // Stop at the first frame: the run ends at the next frame, the file is
    // valid, and the input is there for the next run.
    void aStoppedRunLeavesAValidFile() {
        test::OnFirstProgress(*Window, [&] { Window->StopButton->click(); });
        Start(test::AviBgr24(), Dir / "stopped.flv");
        QVERIFY(test::WaitForRunToEnd(*Window));
        QCOMPARE(Window->StepLabel->text(), QString("Encoding stopped by user."));
        QCOMPARE(Window->StatusLabel->text(), QString());
        VerifyValidFlv(Dir / "stopped.flv", 1);
        QVERIFY(test::EndReport(*Window));
        QVERIFY(test::EndReport(*Window)->text().startsWith(
            "Encoding stopped by user.\n\nWhat was encoded until then is in:\n"));
        QCOMPARE(Window->VideoFileEdit->text(), Name(test::AviBgr24()));
        QVERIFY(Window->StartButton->isEnabled());
    }

    // Stop in the audio pass ends it at its next chunk, without a frame: the
    // report says that nothing was written, and no file is left.
    void aStopDuringTheAudioPassWritesNothing() {
        test::OnFirstProgress(*Window, [&] {
            QCOMPARE(Window->StepLabel->text(), QString("Encoding audio..."));
            Window->StopButton->click();
        });
        Start(test::AviPcm16Stereo(), Dir / "silent.flv");
        QVERIFY(test::WaitForRunToEnd(*Window));
        QCOMPARE(Window->StepLabel->text(), QString("Encoding stopped by user."));
        QCOMPARE(Window->StatusLabel->text(), QString());
        QVERIFY(test::EndReport(*Window));
        QCOMPARE(test::EndReport(*Window)->text(),
                 "Encoding stopped by user.\n\nNo frame was encoded: " + Name(Dir / "silent.flv") +
                     " was not created.");
        QCOMPARE(std::distance(fs::directory_iterator(Dir), {}), 0);
    }

    // Closing during a run asks first; No keeps the run going to its end,
    // Yes stops it and closes the window once the file is finished.
    void closingDuringARunAsksFirst() {
        struct TRow {
            QMessageBox::StandardButton Answer;
            const char* Step;
            size_t Frames;
            bool Visible;
        };
        const TRow Rows[] = {{QMessageBox::No, "Encoding finished successfully.", 4, true},
                             {QMessageBox::Yes, "Encoding stopped by user.", 1, false}};
        for (const TRow& Row : Rows) {
            Window = test::ShowMainWindow();
            test::TMessageBoxAnswerer Boxes(Row.Answer);
            bool Closed = true;
            test::OnFirstProgress(*Window, [&] { Closed = Window->close(); });
            const fs::path Output = Dir / (Row.Visible ? "kept.flv" : "closed.flv");
            Start(test::AviBgr24(), Output);
            QVERIFY(test::WaitForRunToEnd(*Window));
            QVERIFY(!Closed);
            QVERIFY(!Boxes.Shown.empty());
            QCOMPARE(Boxes.Shown[0].Caption, QString("Confirmation"));
            QVERIFY(Boxes.Shown[0].Text.startsWith("Stop the conversion and close the window?"));
            QCOMPARE(Window->StepLabel->text(), QString(Row.Step));
            QCOMPARE(Window->isVisible(), Row.Visible);
            VerifyValidFlv(Output, Row.Frames);
        }
    }

    void thePreviewSwitchTakesEffectFromTheNextFrame() {
        // The clip's pictures change every other frame: frame 2 differs
        // from frame 0; progress, in stream time, is 0 % after frame 0 and
        // 34 % after frame 2 (134 of 400 ms).
        std::map<int, QImage> Shown;
        connect(Window->ProgressBar, &QProgressBar::valueChanged, this, [&](int Percent) {
            Shown[Percent] = Window->PreviewLayer->Bitmap.copy();
            if (Percent == 0) {
                Window->PreviewCheckBox->click();
            }
        });
        Start(test::AviBgr24(), Dir / "unwatched.flv");
        QVERIFY(test::WaitForRunToEnd(*Window));
        QVERIFY(!Window->PreviewStyleComboBox->isEnabled());
        QVERIFY(Shown.count(0) && Shown.count(34));
        QCOMPARE(Shown[34], Shown[0]);
    }

    void thePageStaysLockedDuringARun() {
        std::vector<int> PagesWhileRunning;
        test::OnFirstProgress(*Window, [&] {
            Window->PageControl1->setCurrentIndex(0);
            PagesWhileRunning.push_back(Window->PageControl1->currentIndex());
            QTabBar* Tabs = Window->PageControl1->tabBar();
            QTest::mouseClick(Tabs, Qt::LeftButton, {}, Tabs->tabRect(1).center());
            PagesWhileRunning.push_back(Window->PageControl1->currentIndex());
        });
        Start(test::AviBgr24(), Dir / "locked.flv");
        QVERIFY(test::WaitForRunToEnd(*Window));
        QCOMPARE(PagesWhileRunning, std::vector<int>({3, 3}));
        Window->PageControl1->setCurrentIndex(0);
        QCOMPARE(Window->PageControl1->currentIndex(), 0);
    }

    void theOutputNameEndsInFlv() {
        const std::pair<const char*, const char*> Rows[] = {
            {"clip", "clip.flv"}, {"clip.FLV", "clip.FLV"}, {"clip.flv.avi", "clip.flv.avi.flv"}};
        for (const auto& [Typed, Written] : Rows) {
            Start(test::AviBgr24(), Dir / Typed);
            QVERIFY(test::WaitForRunToEnd(*Window));
            QVERIFY2(fs::exists(Dir / Written), Written);
            QCOMPARE(Window->SaveDialog.FileName, Name(Dir / Written));
        }
        QVERIFY(!fs::exists(Dir / "clip.flv.avi"));
    }

    // Each dialog shows its file type, in the folder a file was last chosen in.
    void aFileDialogOpensWithItsFileTypeWhereTheLastFileWasChosen() {
        test::OpenInput(*Window, test::AviBgr24());
        const QString InputFolder = Name(fs::canonical(test::AviBgr24()).parent_path());
        Window->OpenDialog1.Chooser = nullptr;
        Window->SaveDialog.Chooser = nullptr;
        struct TRow {
            QPushButton* Button;
            QRadioButton* Audio;
            QString FileType;
        };
        const TRow Rows[] = {
            {Window->Button1, Window->NoAudioRadioButton,
             "Video files (*.avi *.mp4 *.m4v *.mov *.3gp *.mkv *.webm *.ts *.m2ts *.mts *.mpg "
             "*.mpeg *.ogv *.wmv *.mxf *.gif)"},
            {Window->Button2, Window->MP3AudioRadioButton, "MP3 audio files (*.mp3)"},
            {Window->StartButton, Window->NoAudioRadioButton, "Flash video files (*.flv)"},
        };
        for (const TRow& Row : Rows) {
            Row.Audio->click();
            Window->PageControl1->setCurrentIndex(Row.Button == Window->StartButton ? 3 : 0);
            test::TFileDialogAnswerer Dialogs;
            Row.Button->click();
            QCOMPARE(Dialogs.Folders, std::vector<QString>{InputFolder});
            QCOMPARE(Dialogs.FileTypes, std::vector<QString>{Row.FileType});
        }
    }

    // The question concerns the file that will be written, once, in the
    // real save dialog (Qt's own would concern the name as typed); No
    // leaves the file as it was and brings the dialog back.
    void theReplaceQuestionConcernsTheFileWritten() {
        struct TRow {
            const char* Typed;
            const char* Existing;  // before the run
            QMessageBox::StandardButton Answer;
            const char* Written;  // or nothing
            const char* Asked;    // about, or nothing
        };
        // NoButton: Enter, which answers with the default button.
        const TRow Rows[] = {
            {"out1", "out1.flv", QMessageBox::No, nullptr, "out1.flv"},
            {"out2", "out2.flv", QMessageBox::Yes, "out2.flv", "out2.flv"},
            {"out3", "out3.flv", QMessageBox::NoButton, nullptr, "out3.flv"},
            {"clip.FLV", "clip.FLV", QMessageBox::Yes, "clip.FLV", "clip.FLV"},
            {"noaudio.avi", "noaudio.avi", QMessageBox::No, "noaudio.avi.flv", nullptr},
        };
        const std::vector<uint8_t> Kept = {'k', 'e', 'p', 't'};
        for (const TRow& Row : Rows) {
            test::WriteFileBytes(Dir / Row.Existing, Kept);
            test::OpenInput(*Window, test::AviBgr24());
            Window->SaveDialog.Chooser = nullptr;
            Window->SaveDialog.FileName = Name(Dir / "any");
            Window->PageControl1->setCurrentIndex(3);
            test::TMessageBoxAnswerer Boxes(Row.Answer);
            test::TFileDialogAnswerer Dialogs({Name(Dir / Row.Typed)});
            Window->StartButton->click();
            QVERIFY(test::WaitForRunToEnd(*Window));
            std::vector<QString> Questions;
            for (const test::TShownMessage& Shown : Boxes.Shown) {
                if (Shown.Buttons & QMessageBox::Yes) {
                    Questions.push_back(Shown.Text);
                }
            }
            const std::vector<QString> Expected =
                Row.Asked ? std::vector<QString>{"The file " + Name(Dir / Row.Asked) +
                                                 " already exists.\nDo you want to replace it?"}
                          : std::vector<QString>{};
            QCOMPARE(Questions, Expected);
            // No brings the dialog back, where a cancel ends the choice.
            QCOMPARE(Dialogs.Folders.size(), size_t(Row.Written ? 1 : 2));
            QCOMPARE(test::ReadFileBytes(Dir / Row.Existing) == Kept,
                     !Row.Written || std::string(Row.Written) != Row.Existing);
            if (Row.Written) {
                VerifyValidFlv(Dir / Row.Written, 4);
            }
        }
    }

    // A folder that does not exist is refused before the job is asked to
    // write there; the next dialog opens in a real folder nearby, and never
    // in the system's own file systems.
    void theSaveDialogWantsAnExistingFolderAndOpensInARealOne() {
        struct TRow {
            fs::path Chosen;
            QString Message;
            QString NextFolder;
        };
        const TRow Rows[] = {
            {Dir / "none" / "out.flv", "The folder " + Name(Dir / "none") + " does not exist.",
             Name(fs::canonical(Dir))},
            {"/proc/out.flv", "Impossible to create the output file /proc/out.flv",
             Name(fs::canonical(QDir::homePath().toStdString()))},
        };
        for (const TRow& Row : Rows) {
            test::OpenInput(*Window, test::AviBgr24());
            test::ChooseFileOnce(Window->SaveDialog, Row.Chosen);
            Window->PageControl1->setCurrentIndex(3);
            {
                test::TMessageBoxAnswerer Boxes;
                Window->StartButton->click();
                QCOMPARE(Boxes.Shown.size(), size_t(1));
                QVERIFY2(Boxes.Shown[0].Text.startsWith(Row.Message),
                         qPrintable(Boxes.Shown[0].Text));
            }
            QVERIFY(!Window->JobRunning() && Window->StartButton->isEnabled());
            Window->SaveDialog.Chooser = nullptr;
            test::TFileDialogAnswerer Dialogs;
            Window->StartButton->click();
            QCOMPARE(Dialogs.Folders, std::vector<QString>{Row.NextFolder});
        }
    }

    // Nor does the program keep anything of the dialogs between starts.
    void aFileDialogLeavesNoSettingsBehind() {
        const fs::path Settings =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
            "/QtProject.conf";
        const auto Written = [&] {
            std::error_code Absent;
            return fs::last_write_time(Settings, Absent);
        };
        const auto Before = Written();
        {
            test::TFileDialogAnswerer Dialogs;
            Window->Button1->click();
            QCOMPARE(Dialogs.Folders.size(), size_t(1));
        }
        QVERIFY(Written() == Before);
    }

    // No file chosen, or the one chosen gone since.
    void aMissingExternalAudioFileIsRefused() {
        const fs::path Tone = ToneMp3("window-tone-1s.mp3", "1");
        for (const bool Chosen : {false, true}) {
            test::OpenInput(*Window, test::AviBgr24());
            Window->MP3AudioRadioButton->click();
            if (Chosen) {
                fs::copy_file(Tone, Dir / "gone.mp3", fs::copy_options::overwrite_existing);
                test::ChooseFile(Window->OpenDialog1, Dir / "gone.mp3");
                Window->Button2->click();
                QCOMPARE(Window->AudioFileEdit->text(), Name(Dir / "gone.mp3"));
                fs::remove(Dir / "gone.mp3");
            }
            Window->PageControl1->setCurrentIndex(3);
            bool SaveDialogRun = false;
            Window->SaveDialog.Chooser = [&](const TFileDialog&) {
                SaveDialogRun = true;
                return std::optional<QString>();
            };
            test::TMessageBoxAnswerer Boxes;
            Window->StartButton->click();
            QCOMPARE(Boxes.Shown.size(), size_t(1));
            QCOMPARE(Boxes.Shown[0].Caption, QString("Error"));
            QCOMPARE(Boxes.Shown[0].Text,
                     QString("Please select an external audio file, or choose another source "
                             "for the audio."));
            QCOMPARE(Boxes.Shown[0].Icon, QMessageBox::Warning);
            QCOMPARE(Boxes.Shown[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(!SaveDialogRun);
            QCOMPARE(Window->PageControl1->currentIndex(), 0);
            QVERIFY(!Window->JobRunning() && Window->StartButton->isEnabled());
        }
    }

    // Without a frame of MP3 the file would give a video without sound
    // under a report of success: it is refused when chosen, by name, and
    // the file chosen before stays.
    void aFileWithoutMp3AudioIsRefusedWhenChosen() {
        const fs::path Tone = ToneMp3("window-tone-1s.mp3", "1");
        test::WriteFileBytes(Dir / "text.mp3", {'n', 'o', ' ', 's', 'o', 'u', 'n', 'd', '\n'});
        test::WriteFileBytes(Dir / "empty.mp3", {});
        test::OpenInput(*Window, test::AviBgr24());
        Window->MP3AudioRadioButton->click();
        test::ChooseFile(Window->OpenDialog1, Tone);
        Window->Button2->click();
        for (const char* Refused : {"text.mp3", "empty.mp3"}) {
            test::TMessageBoxAnswerer Boxes;
            test::ChooseFile(Window->OpenDialog1, Dir / Refused);
            Window->Button2->click();
            QCOMPARE(Boxes.Shown.size(), size_t(1));
            QCOMPARE(Boxes.Shown[0].Caption, QString("Error"));
            QCOMPARE(Boxes.Shown[0].Text,
                     "No MP3 audio was found in the file " + Name(Dir / Refused) + ".");
            QCOMPARE(Boxes.Shown[0].Icon, QMessageBox::Critical);
            QCOMPARE(Window->AudioFileEdit->text(), Name(Tone));
        }
    }

    // As MP3 players do, the source finds its way past damage, junk and the
    // tags of joined files: the sound in the file lasts as long as FFmpeg's
    // own decoding of the MP3 (up to the video's end), and the end report
    // tells of bytes skipped and of sound that ends early.
    void theSoundGoesOnPastWhatIsNoFrame() {
        const fs::path Tone = ToneMp3("window-tone-3s.mp3", "3");
        const std::vector<size_t> Frames = test::Mp3PacketPositions(Tone);
        const size_t AtAFifth =
            *std::lower_bound(Frames.begin(), Frames.end(), fs::file_size(Tone) / 5);
        const size_t TagEnd = test::Id3v2TagSize(test::ReadFileBytes(Tone));
        struct TRow {
            const char* Name;
            fs::path Mp3;
            const char* VideoSeconds;
            QString Note;  // in the end report, or nothing
        };
        const TRow Rows[] = {
            {"damaged header",
             test::DerivedFixture("window-damaged.mp3", Tone,
                                  [&](std::vector<uint8_t> Bytes) {
                                      Bytes[AtAFifth] = 0;
                                      return Bytes;
                                  }),
             "3", "bytes that are no MP3 frames"},
            {"two files joined",
             test::DerivedFixture("window-joined.mp3", Tone,
                                  [](std::vector<uint8_t> Bytes) {
                                      const auto Once = Bytes;
                                      Bytes.insert(Bytes.end(), Once.begin(), Once.end());
                                      return Bytes;
                                  }),
             "6", ""},
            {"zeros after the tag",
             test::DerivedFixture("window-zeros.mp3", Tone,
                                  [&](std::vector<uint8_t> Bytes) {
                                      Bytes.insert(Bytes.begin() + long(TagEnd), 1000, 0);
                                      return Bytes;
                                  }),
             "3", "The MP3 audio held 1000 bytes that are no MP3 frames"},
            {"sound shorter than the video", Tone, "6", "The sound ends at 3."},
        };
        for (const TRow& Row : Rows) {
            Window = test::ShowMainWindow();
            test::OpenInput(*Window, SmallVideo(Row.VideoSeconds));
            Window->MP3AudioRadioButton->click();
            test::ChooseFile(Window->OpenDialog1, Row.Mp3);
            Window->Button2->click();
            QCOMPARE(Window->AudioFileEdit->text(), Name(Row.Mp3));
            const fs::path Output = Dir / (std::string(Row.Name) + ".flv");
            Window->PageControl1->setCurrentIndex(3);
            test::ChooseFile(Window->SaveDialog, Output);
            Window->StartButton->click();
            QVERIFY(test::WaitForRunToEnd(*Window));
            const double Expected =
                std::min(test::DecodedSoundSeconds(Row.Mp3), std::stod(Row.VideoSeconds));
            const double Heard = test::DecodedSoundSeconds(Output);
            QVERIFY2(std::fabs(Heard - Expected) < 0.1,
                     qPrintable(QString("%1: %2 s of %3").arg(Row.Name).arg(Heard).arg(Expected)));
            QMessageBox* Report = test::EndReport(*Window);
            QVERIFY(Report);
            const QString Said = Report->text().section("\n\n", 2);
            QVERIFY2(Row.Note.isEmpty() ? Said.isEmpty() : Said.contains(Row.Note),
                     qPrintable(QString(Row.Name) + ": " + Report->text()));
        }
    }

    // Found before the output is asked for: the field is named, its page
    // shown and its text selected; the last run's step goes. A range is
    // checked against the video (4 s) too, and a crop and a size against its
    // picture (32x24).
    void aSettingThatCantBeUsedIsNamedBeforeTheOutputIsAskedFor() {
        struct TRow {
            std::function<void(TForm1&)> Set;
            QString Text;
            int Page;
            QLineEdit* TForm1::*Focused;
        };
        const TRow Rows[] = {
            {[](TForm1& W) {
                 W.BitrateCompressionRadioButton->click();
                 W.BitRateEdit->clear();
             },
             "Maximum bitrate takes a whole number from 1 to 100000 KBps, not ''.", 1,
             &TForm1::BitRateEdit},
            {[](TForm1& W) { W.RangeStartEdit->setText("1:"); },
             "Starting at takes a time in seconds or [HH:]MM:SS[.mmm], not '1:'.", 2,
             &TForm1::RangeStartEdit},
            {[](TForm1& W) {
                 W.RangeStartEdit->setText("2.5");
                 W.RangeEndEdit->setText("0:02.500");
             },
             "The end, 0:02.500, must come after the start, 0:02.500.", 2, &TForm1::RangeEndEdit},
            {[](TForm1& W) { W.RangeStartEdit->setText("4"); },
             "The range starts at 0:04.000, but the video ends at 0:04.000.", 2,
             &TForm1::RangeStartEdit},
            {[](TForm1& W) {
                 W.CropCheckBox->click();
                 W.CropWidthEdit->setText("20");
                 W.CropHeightEdit->setText("10");
                 W.CropLeftEdit->setText("13");
             },
             "The crop 20:10:13:0 (width:height:x:y) reaches beyond the picture, which is 32x24 "
             "pixels.",
             2, &TForm1::CropWidthEdit},
            {[](TForm1& W) {
                 W.SizeCheckBox->click();
                 W.SizeWidthEdit->clear();
                 W.SizeHeightEdit->setText("4095");
             },
             "The size asked for makes the picture 5460x4095 pixels; Flash Screen Video frames "
             "are 1 to 4095 pixels wide and high.",
             2, &TForm1::SizeWidthEdit},
        };
        for (const TRow& Row : Rows) {
            auto Fresh = test::ShowMainWindow();
            test::OpenInput(*Fresh, SmallVideo("4"));
            Row.Set(*Fresh);
            Fresh->PageControl1->setCurrentIndex(3);
            Fresh->StepLabel->setText("Encoding finished successfully.");
            bool SaveDialogRun = false;
            Fresh->SaveDialog.Chooser = [&](const TFileDialog&) {
                SaveDialogRun = true;
                return std::optional<QString>();
            };
            test::TMessageBoxAnswerer Boxes;
            Fresh->StartButton->click();
            QCOMPARE(Boxes.Shown.size(), size_t(1));
            QCOMPARE(Boxes.Shown[0].Caption, QString("Error"));
            QCOMPARE(Boxes.Shown[0].Text, Row.Text);
            QCOMPARE(Boxes.Shown[0].Icon, QMessageBox::Warning);
            QVERIFY(!SaveDialogRun);
            QCOMPARE(Fresh->PageControl1->currentIndex(), Row.Page);
            QCOMPARE(Fresh->focusWidget(), (*Fresh).*Row.Focused);
            QCOMPARE(Fresh->StepLabel->text(), QString());
            QVERIFY(!Fresh->JobRunning() && Fresh->StartButton->isEnabled());
        }
    }

    // The crop and size are tried on the open file as they are typed: the
    // page says the size the output will have, or why it can't be made, and
    // the preview shows the first frame as the FLV file will hold it; the
    // run writes the pictures the preview showed.
    void theCropAndSizeShowInThePreviewAndReachTheFile() {
        test::OpenInput(*Window, test::AviBgr24());  // 64x48
        Window->PageControl1->setCurrentIndex(2);
        Window->CropCheckBox->click();
        Window->SizeCheckBox->click();
        const std::pair<QLineEdit*, const char*> Typed[] = {
            {Window->CropWidthEdit, "40"}, {Window->CropHeightEdit, "30"},
            {Window->CropLeftEdit, "11"},  {Window->CropTopEdit, "7"},
            {Window->SizeWidthEdit, "60"}, {Window->SizeHeightEdit, ""}};
        for (const auto& [Edit, Text] : Typed) {
            Edit->selectAll();
            QTest::keyClicks(Edit, Text);
            if (QString(Text).isEmpty()) {
                QTest::keyClick(Edit, Qt::Key_Delete);
            }
        }
        QCOMPARE(Window->PictureSizeLabel->text(), QString("The FLV file will be 60x45 pixels."));
        std::vector<uint8_t> Expected = test::DecodeWithFfmpeg(
            test::AviBgr24(), "bgr24", "-vf crop=40:30:11:7:exact=1,scale=60:45:flags=bicubic");
        Expected.resize(60 * 45 * 3);
        QCOMPARE(Window->PreviewLayer->Bitmap.size(), QSize(60, 45));
        QCOMPARE(Bgr24Rows(Window->PreviewLayer->Bitmap), Expected);

        Window->CropLeftEdit->selectAll();
        QTest::keyClicks(Window->CropLeftEdit, "25");
        const QString Beyond =
            "The crop 40:30:25:7 (width:height:x:y) reaches beyond the "
            "picture, which is 64x48 pixels.";
        QCOMPARE(Window->PictureSizeLabel->text(), Beyond);
        Window->CropLeftEdit->setText("11");
        const fs::path Output = Dir / "cropped.flv";
        Window->PageControl1->setCurrentIndex(3);
        test::ChooseFile(Window->SaveDialog, Output);
        Window->StartButton->click();
        QVERIFY(test::WaitForRunToEnd(*Window));
        const std::vector<test::DecodedFrame> Frames = test::DecodeFlvVideo(Output);
        QVERIFY(!Frames.empty());
        QCOMPARE(Frames[0].Width, 60);
        QCOMPARE(Frames[0].Height, 45);
        QCOMPARE(Frames[0].Bgr, Expected);
    }

    // The preview shows the picture at the range's start (the FLV's first
    // frame) as the output will hold it: the start is taken once typing
    // rests, or at once when the edit is left, and followed as it changes;
    // a new size converts that picture again.
    void thePreviewFollowsTheRangesStart() {
        const struct {
            fs::path File;
            std::string Scaling;  // the ffmpeg tool's flags for a size asked for
        } Inputs[] = {
            {SmallVideo("4"), "bicubic"},
            {test::Fixture("window-h264-4s.mkv",
                           "-f lavfi -i testsrc2=size=32x24:rate=5:duration=4 -c:v libx264"),
             "bicubic+full_chroma_int"},
        };
        for (const auto& Input : Inputs) {
            const auto At = [&](const char* Seconds, const char* Size) {
                return test::DecodeWithFfmpeg(Input.File, "bgr24",
                                              std::string("-ss ") + Seconds +
                                                  " -frames:v 1 -vf scale=" + Size +
                                                  ":flags=" + Input.Scaling);
            };
            const std::vector<uint8_t> First = At("0", "64:48");
            const std::vector<uint8_t> AtTwo = At("2", "64:48");
            const std::vector<uint8_t> AtOne = At("1", "64:48");
            QVERIFY(First != AtTwo && AtOne != AtTwo && AtOne != First);
            auto Fresh = test::ShowMainWindow();
            test::OpenInput(*Fresh, Input.File);
            Fresh->PageControl1->setCurrentIndex(2);
            Fresh->SizeWidthEdit->setText("64");
            Fresh->SizeCheckBox->click();
            const auto Shown = [&] { return Bgr24Rows(Fresh->PreviewLayer->Bitmap); };
            QCOMPARE(Shown(), First);
            Fresh->RangeStartEdit->setFocus();
            QTest::keyClicks(Fresh->RangeStartEdit, "2");
            QCOMPARE(Shown(), First);  // typing on
            QTRY_COMPARE(Shown(), AtTwo);
            Fresh->RangeStartEdit->selectAll();
            QTest::keyClicks(Fresh->RangeStartEdit, "1");
            QTest::keyClick(Fresh->RangeStartEdit, Qt::Key_Return);
            QCOMPARE(Shown(), AtOne);
            Fresh->SizeWidthEdit->setText("48");
            QCOMPARE(Shown(), At("1", "48:36"));
            QCOMPARE(Fresh->PictureSizeLabel->text(),
                     QString("The FLV file will be 48x36 pixels."));
        }
    }

    // A picture wider than an FLV holds opens; the page says what to do,
    // and a size makes it fit.
    void aPictureTooWideForAnFlvTakesASize() {
        test::OpenInput(*Window, test::Fixture("window-4100x20.avi",
                                               "-f lavfi -i color=red:size=4100x20:rate=5 "
                                               "-frames:v 2 -c:v rawvideo -pix_fmt bgr24"));
        QCOMPARE(Window->PictureSizeLabel->text(),
                 QString("The video is 4100x20 pixels; Flash Screen Video frames are 1 to 4095 "
                         "pixels wide and high: give a size that scales it down (--size 1920x, "
                         "or \"Resize the picture to\" in the window), or crop it."));
        Window->SizeCheckBox->click();
        QCOMPARE(Window->PictureSizeLabel->text(), QString("The FLV file will be 1280x6 pixels."));
    }

    // The input's name with ".flv", in its folder, then in the folder of the
    // output chosen last.
    void theSaveDialogProposesTheInputsName() {
        std::vector<QString> Proposed;
        const auto Answer = [&](const fs::path& Output) {
            Window->SaveDialog.Chooser = [&, Output](const TFileDialog& Dialog) {
                Proposed.push_back(Dialog.FileName);
                return std::optional<QString>(Name(Output));
            };
        };
        Answer(Dir / "first.flv");
        test::OpenInput(*Window, test::AviBgr24());
        Window->PageControl1->setCurrentIndex(3);
        Window->StartButton->click();
        QVERIFY(test::WaitForRunToEnd(*Window));
        test::OpenInput(*Window, test::AviMjpeg());
        Answer(Dir / "second.flv");
        Window->StartButton->click();
        QVERIFY(test::WaitForRunToEnd(*Window));
        const fs::path Input = fs::absolute(test::AviBgr24());
        QCOMPARE(Proposed, (std::vector<QString>{Name(Input.parent_path() / Input.stem()) + ".flv",
                                                 Name(Dir / test::AviMjpeg().stem()) + ".flv"}));
    }

    // A file with sound brings it along, unless the user chose otherwise.
    void theFilesOwnSoundIsChosenUnlessTheUserChoseOtherwise() {
        test::OpenInput(*Window, test::AviPcm16Stereo());
        QVERIFY(Window->AVIAudioRadioButton->isChecked());
        Window->NoAudioRadioButton->click();
        test::OpenInput(*Window, test::AviPcm16Stereo());
        QVERIFY(Window->NoAudioRadioButton->isChecked());
    }

    // The message names the file and says why; the file open before stays,
    // and without one Start stays disabled.
    void aFileThatFailsToOpenIsNamedAndTheOpenOneStays() {
        struct TRow {
            fs::path File;
            QString Says;
            bool OneOpenBefore;
        };
        const TRow Rows[] = {
            {test::TextFile(),
             "Impossible to open this file.\n\n" + Name(test::TextFile()) +
                 "\nIt is not a video file, or it is damaged.",
             true},
            {Dir / "missing.avi",
             "Impossible to open this file.\n\n" + Name(Dir / "missing.avi") +
                 "\nNo such file or directory.",
             false},
            {Dir, "Impossible to open this file.\n\n" + Name(Dir) + "\nIt is a folder.", false},
            {test::AviAudioOnly(),
             "Impossible to find video data in this file.\n\n" + Name(test::AviAudioOnly()), true},
        };
        for (const TRow& Row : Rows) {
            Window = test::ShowMainWindow(test::MadeUpOffer(1));
            if (Row.OneOpenBefore) {
                test::OpenInput(*Window, test::AviPcm16Stereo());
            }
            test::TMessageBoxAnswerer Boxes;
            test::OpenInput(*Window, Row.File);
            QCOMPARE(Boxes.Shown.size(), size_t(1));
            QCOMPARE(Boxes.Shown[0].Caption, QString("Error"));
            QCOMPARE(Boxes.Shown[0].Text, Row.Says);
            QCOMPARE(Boxes.Shown[0].Icon, QMessageBox::Critical);
            const QString Open = Row.OneOpenBefore ? Name(test::AviPcm16Stereo()) : QString();
            QCOMPARE(Window->VideoFileEdit->text(), Open);
            QCOMPARE(Window->VideoDetailsLabel->text().isEmpty(), !Row.OneOpenBefore);
            QCOMPARE(Window->AudioDetailsLabel->text().isEmpty(), !Row.OneOpenBefore);
            QCOMPARE(Window->AVIAudioRadioButton->isEnabled(), Row.OneOpenBefore);
            QCOMPARE(Window->AVIAudioRadioButton->isChecked(), Row.OneOpenBefore);
            QCOMPARE(Window->MP3AudioRadioButton->isEnabled(), Row.OneOpenBefore);
            QCOMPARE(Window->StartButton->isEnabled(), Row.OneOpenBefore);
            QCOMPARE(test::FileIsOpen(test::AviPcm16Stereo()), Row.OneOpenBefore);
        }
    }

    // A file dropped on the window is taken as if chosen in its dialog: an
    // MP3 file as the external audio (with a video open), any other as the
    // input. Nothing is taken during a run.
    void aDroppedFileIsTakenAsIfChosen() {
        const fs::path Tone = ToneMp3("window-tone-1s.mp3", "1");
        test::WriteFileBytes(Dir / "text.mp3", {'n', 'o', '\n'});
        struct TRow {
            const char* Name;
            bool VideoOpen;
            fs::path Dropped;
            bool Taken;
            QString VideoFile, AudioFile;
            size_t Messages;
        };
        const TRow Rows[] = {
            {"video", false, test::AviBgr24(), true, Name(test::AviBgr24()), "", 0},
            {"MP3 with a video", true, Tone, true, Name(test::AviMjpeg()), Name(Tone), 0},
            {"MP3 without a video", false, Tone, false, "", "", 0},
            {"no MP3", true, Dir / "text.mp3", true, Name(test::AviMjpeg()), "", 1},
            {"not a video", true, test::TextFile(), true, Name(test::AviMjpeg()), "", 1},
        };
        for (const TRow& Row : Rows) {
            Window = test::ShowMainWindow();
            if (Row.VideoOpen) {
                test::OpenInput(*Window, test::AviMjpeg());
            }
            test::TMessageBoxAnswerer Boxes;
            QCOMPARE(Drop(*Window, Row.Dropped), Row.Taken);
            QVERIFY2(Boxes.Shown.size() == Row.Messages, Row.Name);
            QCOMPARE(Window->VideoFileEdit->text(), Row.VideoFile);
            QCOMPARE(Window->AudioFileEdit->text(), Row.AudioFile);
            QCOMPARE(Window->MP3AudioRadioButton->isChecked(), !Row.AudioFile.isEmpty());
        }
        test::OnFirstProgress(*Window, [&] {
            QVERIFY(!Drop(*Window, test::AviBgr24()));
            QVERIFY(!Drop(*Window, Tone));
        });
        Start(test::AviMjpeg(), Dir / "undisturbed.flv");
        QVERIFY(test::WaitForRunToEnd(*Window));
        QCOMPARE(Window->VideoFileEdit->text(), Name(test::AviMjpeg()));
    }

    // "quorvane FILE" opens FILE once the window is up, as file managers'
    // "Open with" expects; a relative name is taken from the working folder.
    void aFileNamedOnTheCommandLineIsOpened() {
        const QString Folder = Name(test::AviBgr24().parent_path());
        const QString Before = QDir::currentPath();
        QDir::setCurrent(Folder);
        struct TRow {
            QStringList Arguments;
            bool Taken;
            QString Opened;
        };
        const TRow Rows[] = {
            {{"quorvane"}, true, ""},
            {{"quorvane", Name(test::AviBgr24())}, true, Name(test::AviBgr24())},
            {{"quorvane", Name(test::AviBgr24().filename())}, true, Name(test::AviBgr24())},
            {{"quorvane", Name(test::AviBgr24()), Name(test::AviMjpeg())}, false, ""},
            {{"quorvane", "--bogus"}, false, ""},
        };
        for (const TRow& Row : Rows) {
            Window = test::ShowMainWindow();
            QCOMPARE(TProgram::TakeCommandLine(*Window, Row.Arguments), Row.Taken);
            QTRY_COMPARE(Window->VideoFileEdit->text(), Row.Opened);
            QCOMPARE(Window->StartButton->isEnabled(), !Row.Opened.isEmpty());
        }
        QDir::setCurrent(Before);
        // Looked at before the toolkit starts: they print and end the program.
        QCOMPARE(TProgram::AnswerInformationOptions({"quorvane", "--version"}), std::optional(0));
        QCOMPARE(TProgram::AnswerInformationOptions({"quorvane", "--help"}), std::optional(0));
        QCOMPARE(TProgram::AnswerInformationOptions({"quorvane", "clip.avi"}), std::nullopt);
    }

    void theShortcutsOpenTheInputAndCloseTheWindow() {
        Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Window.get()));
        test::ChooseFile(Window->OpenDialog1, test::AviBgr24());
        QTest::keyClick(Window.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(Window->VideoFileEdit->text(), Name(test::AviBgr24()));
        QTest::keyClick(Window.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!Window->isVisible());
    }

    void anUnstartedJobReleasesItsFileWhenAnotherIsOpened() {
        test::OpenInput(*Window, test::AviBgr24());
        QVERIFY(test::FileIsOpen(test::AviBgr24()));
        test::OpenInput(*Window, test::AviMjpeg());
        QVERIFY(!test::FileIsOpen(test::AviBgr24()));
        QVERIFY(test::FileIsOpen(test::AviMjpeg()));
        // A cancelled choice keeps the job and its file.
        test::ChooseFile(Window->OpenDialog1, std::nullopt);
        Window->Button1->click();
        QVERIFY(test::FileIsOpen(test::AviMjpeg()));
        QCOMPARE(Window->VideoFileEdit->text(), Name(test::AviMjpeg()));
        Window.reset();
        QVERIFY(!test::FileIsOpen(test::AviMjpeg()));
    }

    void theFilesOwnAudioIsOfferedOnlyWithAnMp3Format() {
        for (const int Formats : {1, 0}) {
            auto Fresh = test::ShowMainWindow(test::MadeUpOffer(Formats));
            QCOMPARE(Fresh->ComboBox1->currentIndex(), Formats - 1);
            test::OpenInput(*Fresh, test::AviPcm16Stereo());
            const bool Offered = Formats > 0;
            QCOMPARE(Fresh->AVIAudioRadioButton->isChecked(), Offered);
            QCOMPARE(Fresh->AVIAudioRadioButton->isEnabled(), Offered);
            QCOMPARE(Fresh->NoAudioRadioButton->isChecked(), !Offered);
            QCOMPARE(Fresh->AudioDetailsLabel->isEnabled(), Offered);
            QVERIFY(!Fresh->AudioDetailsLabel->text().isEmpty());
            QVERIFY(Fresh->MP3AudioRadioButton->isEnabled());
        }
        auto Empty = test::ShowMainWindow(test::MadeUpOffer(0));
        QCOMPARE(Empty->ComboBox1->currentText(), QString());
        QCOMPARE(Empty->ComboBox1->placeholderText(), QString("No MP3 encoder available"));
    }

    void theMp3FormatIsTheOneChosenWhenTheRunIsPrepared() {
        const TMp3FormatOffer Offer = test::MadeUpOffer(3);
        Window = test::ShowMainWindow(Offer);
        Window->ComboBox1->setCurrentIndex(1);
        test::OpenInput(*Window, test::AviBgr24());
        Window->ComboBox1->setCurrentIndex(2);
        QCOMPARE(Window->ReadSettings().Audio.MP3Format, Offer[2].Format);
        QCOMPARE(Window->ReadSettings().Audio.MP3InputFormat, Offer[2].InputFormat);
    }

    // The job asks from its own thread; the window answers on its own.
    void aQuestionOfTheJobsThreadIsAskedInTheWindow() {
        const fs::path Tone48k = test::Fixture(
            "window-tone-48k.mp3",
            "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -ac 2 -c:a libmp3lame");
        test::OpenInput(*Window, test::AviBgr24());
        Window->MP3AudioRadioButton->click();
        test::ChooseFile(Window->OpenDialog1, Tone48k);
        Window->Button2->click();
        test::TMessageBoxAnswerer Boxes(QMessageBox::Yes);
        Window->PageControl1->setCurrentIndex(3);
        test::ChooseFile(Window->SaveDialog, Dir / "silent.flv");
        Window->StartButton->click();
        QVERIFY(test::WaitForRunToEnd(*Window));
        QVERIFY(!Boxes.Shown.empty());
        QCOMPARE(Boxes.Shown[0].Caption, QString("Confirmation"));
        QVERIFY(
            Boxes.Shown[0].Text.startsWith("The audio data is not compatible with Flash video."));
        QCOMPARE(Boxes.Shown[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        // Yes: the video goes on, without the audio (the header still
        // announces audio: flvmeta's W11053).
        VerifyValidFlv(Dir / "silent.flv", 4, {"W11053"});
        const test::FlvFile File = test::ReadFlvFile(Dir / "silent.flv");
        QVERIFY(std::none_of(File.Tags.begin(), File.Tags.end(),
                             [](const test::FlvTag& Tag) { return Tag.Type == 8; }));
    }

    // The included audio, in the format chosen in the list after the file
    // was opened, and nothing left beside the file.
    void theIncludedAudioIsTranscodedToTheChosenFormat() {
        const int Mono22050 = Window->ComboBox1->findText("64 kBit/s, 22,050 Hz, Mono");
        QVERIFY(Mono22050 > 0);
        test::OpenInput(*Window, test::AviPcm16Stereo());
        QVERIFY(Window->AVIAudioRadioButton->isChecked());
        Window->ComboBox1->setCurrentIndex(Mono22050);
        Window->PageControl1->setCurrentIndex(3);
        test::ChooseFile(Window->SaveDialog, Dir / "sound.flv");
        Window->StartButton->click();
        QVERIFY(test::WaitForRunToEnd(*Window));
        const auto Valid = test::FlvmetaAccepts(Dir / "sound.flv");
        QVERIFY2(bool(Valid), Valid.message());
        std::set<uint8_t> SoundBytes;
        for (const test::FlvTag& Tag : test::ReadFlvFile(Dir / "sound.flv").Tags) {
            if (Tag.Type == 8) {
                SoundBytes.insert(Tag.FirstDataByte);
            }
        }
        QCOMPARE(SoundBytes, std::set<uint8_t>{0x2A});  // MP3, 22050 Hz, 16 bits, mono
        QCOMPARE(std::distance(fs::directory_iterator(Dir), {}), 1);
    }

    void theLastBlockWidthItemWritesBlocks256PixelsWide() {
        Window->BlockWidthComboBox->setCurrentIndex(15);
        Start(test::AviBgr24(), Dir / "wide.flv");
        QVERIFY(test::WaitForRunToEnd(*Window));
        const test::FlvFile File = test::ReadFlvFile(Dir / "wide.flv");
        const auto Video = std::find_if(File.Tags.begin(), File.Tags.end(),
                                        [](const test::FlvTag& Tag) { return Tag.Type == 9; });
        QVERIFY(Video != File.Tags.end());
        QCOMPARE(test::ParseScreenVideoPacket(Video->Payload).BlockWidth, 256u);
    }
};

QUORVANE_WINDOW_TEST_MAIN(WindowJobControl)
#include "WindowJobTest.moc"
