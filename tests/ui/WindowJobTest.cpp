// Job control driven through the real window: whole conversions, Stop,
// closing during a run, the page lock, the output name, and the messages
// for files that can't be used.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabBar>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>

#include "WindowTestKit.h"
#include "encoder/OutputFile.h"
#include "platform/TemporaryFile.h"
#include "support/Fixtures.h"
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

// Clicks Button and cancels the real file dialog it opens; returns the
// folder and the file type the dialog showed.
std::pair<QString, QString> DialogShownBy(QPushButton& Button) {
    std::pair<QString, QString> Shown;
    QTimer Poll;
    QObject::connect(&Poll, &QTimer::timeout, [&] {
        if (auto* Dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            Shown = {Dialog->directory().canonicalPath(), Dialog->selectedNameFilter()};
            Dialog->reject();
        }
    });
    Poll.start(10);
    Button.click();
    return Shown;
}

}  // namespace

class WindowJobControl : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> Window;
    fs::path Dir;

    // Opens Input and starts a run that writes Output.
    void Start(const fs::path& Input, const fs::path& Output) {
        test::OpenInput(*Window, Input);
        Window->PageControl1->setCurrentIndex(2);
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

    void aWholeConversionEndsWithTheWindowReset() {
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
        Window->PageControl1->setCurrentIndex(2);
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
        QVERIFY(!Window->StartButton->isEnabled() && !Window->StopButton->isEnabled());
        QVERIFY(Window->VideoFileEdit->text().isEmpty() && Window->AudioFileEdit->text().isEmpty());
        QVERIFY(Window->VideoDetailsLabel->text().isEmpty());
        QImage Black(64, 48, QImage::Format_RGB32);
        Black.fill(Qt::black);
        QCOMPARE(Window->PreviewLayer->Bitmap, Black);

        // The clip's six pictures change every other frame, and a frame
        // without a change writes no tag.
        const fs::path Output = Dir / "clip.flv";
        VerifyValidFlv(Output, 3);
        const test::FlvFile File = test::ReadFlvFile(Output);
        QVERIFY(std::any_of(File.Tags.begin(), File.Tags.end(),
                            [](const test::FlvTag& Tag) { return Tag.Type == 8; }));
    }

    // Stop, or closing the window, at the first frame: the run ends at the
    // next frame, and the window closes only once the file is finished.
    void aRunEndedEarlyLeavesAValidFile() {
        const std::pair<const char*, std::function<void(TForm1&)>> Rows[] = {
            {"stopped.flv", [](TForm1& W) { W.StopButton->click(); }},
            {"closed.flv", [](TForm1& W) { QVERIFY(!W.close() && W.isVisible()); }},
        };
        for (const auto& [Output, EndEarly] : Rows) {
            Window = test::ShowMainWindow();
            test::OnFirstProgress(*Window, [&, &EndEarly = EndEarly] { EndEarly(*Window); });
            Start(test::AviBgr24(), Dir / Output);
            QVERIFY(test::WaitForRunToEnd(*Window));
            QCOMPARE(Window->StepLabel->text(), QString("Encoding stopped by user."));
            QCOMPARE(Window->StatusLabel->text(), QString(" - "));
            VerifyValidFlv(Dir / Output, 1);
        }
        QVERIFY(!Window->isVisible());
    }

    void thePreviewSwitchTakesEffectFromTheNextFrame() {
        // The clip's pictures change every other frame: frame 2 differs
        // from frame 0; progress is 0 % after frame 0, 33 % after frame 2.
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
        QVERIFY(Shown.count(0) && Shown.count(33));
        QCOMPARE(Shown[33], Shown[0]);
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
        QCOMPARE(PagesWhileRunning, std::vector<int>({2, 2}));
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
        struct TRow {
            QPushButton* Button;
            QRadioButton* Audio;
            QString FileType;
        };
        const TRow Rows[] = {
            {Window->Button1, Window->NoAudioRadioButton, "AVI video files (*.avi)"},
            {Window->Button2, Window->MP3AudioRadioButton, "MP3 audio files (*.mp3)"},
            {Window->StartButton, Window->NoAudioRadioButton, "Flash video files (*.flv)"},
        };
        for (const TRow& Row : Rows) {
            Row.Audio->click();
            Window->PageControl1->setCurrentIndex(Row.Button == Window->StartButton ? 2 : 0);
            const auto Shown = DialogShownBy(*Row.Button);
            QCOMPARE(Shown.first, InputFolder);
            QCOMPARE(Shown.second, Row.FileType);
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
        DialogShownBy(*Window->Button1);
        QVERIFY(Written() == Before);
    }

    void aMissingExternalAudioFileIsRefused() {
        for (const std::optional<fs::path>& Chosen :
             {std::optional<fs::path>(), std::optional(Dir / "missing.mp3")}) {
            test::OpenInput(*Window, test::AviBgr24());
            Window->MP3AudioRadioButton->click();
            test::ChooseFile(Window->OpenDialog1, Chosen);
            Window->Button2->click();
            Window->PageControl1->setCurrentIndex(2);
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

    void aNonNumericEditIsReportedAndStartsNothing() {
        test::OpenInput(*Window, test::AviBgr24());
        Window->BitrateCompressionRadioButton->click();
        Window->BitRateEdit->clear();
        test::ChooseFile(Window->SaveDialog, Dir / "never.flv");
        test::TMessageBoxAnswerer Boxes;
        Window->StartButton->click();
        QCOMPARE(Boxes.Shown.size(), size_t(1));
        QCOMPARE(Boxes.Shown[0].Caption, QString("Quorvane"));
        QCOMPARE(Boxes.Shown[0].Text, QString("'' is not a valid integer value"));
        QCOMPARE(Boxes.Shown[0].Icon, QMessageBox::Critical);
        QVERIFY(!Window->JobRunning() && Window->StartButton->isEnabled());
        QVERIFY(Window->ProgressBar->isHidden());
        QVERIFY(!fs::exists(Dir / "never.flv"));
    }

    void aFileThatCannotBeOpenedIsReported() {
        test::OpenInput(*Window, test::AviPcm16Stereo());
        test::TMessageBoxAnswerer Boxes;
        test::OpenInput(*Window, test::TextFile());
        QCOMPARE(Boxes.Shown.size(), size_t(1));
        QCOMPARE(Boxes.Shown[0].Caption, QString("Error"));
        QCOMPARE(Boxes.Shown[0].Text, QString("Impossible to open this file."));
        QCOMPARE(Boxes.Shown[0].Icon, QMessageBox::NoIcon);
        QVERIFY(Window->VideoFileEdit->text().isEmpty());
        QVERIFY(Window->VideoDetailsLabel->text().isEmpty());
        QVERIFY(Window->AudioDetailsLabel->text().isEmpty());
        QVERIFY(!Window->AVIAudioRadioButton->isEnabled() &&
                !Window->MP3AudioRadioButton->isEnabled());
        QVERIFY(Window->NoAudioRadioButton->isChecked());
        // Start stays as it was, and now acts on the file that did not open.
        QVERIFY(Window->StartButton->isEnabled());
        test::ChooseFile(Window->SaveDialog, Dir / "nothing.flv");
        Window->StartButton->click();
        QCOMPARE(Window->StepLabel->text(), QString("No video found in the selected file."));
        QVERIFY(!Window->JobRunning());
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

    void theMp3FormatIsFixedWhenTheInputFileIsOpened() {
        const TMp3FormatOffer Offer = test::MadeUpOffer(3);
        Window = test::ShowMainWindow(Offer);
        Window->ComboBox1->setCurrentIndex(1);
        test::OpenInput(*Window, test::AviBgr24());
        Window->ComboBox1->setCurrentIndex(2);
        QCOMPARE(Window->ReadSettings().Audio.MP3Format, Offer.MP3FormatList[1]);
        QCOMPARE(Window->ReadSettings().Audio.MP3InputFormat, Offer.MP3InputFormatList[1]);
        test::OpenInput(*Window, test::AviBgr24());
        QCOMPARE(Window->ReadSettings().Audio.MP3Format, Offer.MP3FormatList[2]);
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
        Window->PageControl1->setCurrentIndex(2);
        test::ChooseFile(Window->SaveDialog, Dir / "silent.flv");
        Window->StartButton->click();
        QVERIFY(test::WaitForRunToEnd(*Window));
        QCOMPARE(Boxes.Shown.size(), size_t(1));
        QCOMPARE(Boxes.Shown[0].Caption, QString("Confirmation"));
        QVERIFY(
            Boxes.Shown[0].Text.startsWith("The audio data is not compatible with Flash video."));
        QCOMPARE(Boxes.Shown[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        // Yes: the video goes on, without the audio (the header still
        // announces audio: flvmeta's W11053).
        VerifyValidFlv(Dir / "silent.flv", 3, {"W11053"});
        const test::FlvFile File = test::ReadFlvFile(Dir / "silent.flv");
        QVERIFY(std::none_of(File.Tags.begin(), File.Tags.end(),
                             [](const test::FlvTag& Tag) { return Tag.Type == 8; }));
    }

    // The included audio, in the format chosen in the list, and nothing left
    // beside the file.
    void theIncludedAudioIsTranscodedToTheChosenFormat() {
        const int Mono22050 = Window->ComboBox1->findText("64 kBit/s, 22,050 Hz, Mono");
        QVERIFY(Mono22050 > 0);
        Window->ComboBox1->setCurrentIndex(Mono22050);
        Start(test::AviPcm16Stereo(), Dir / "sound.flv");
        QVERIFY(Window->AVIAudioRadioButton->isChecked());
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
