// Job control: choosing the files, starting and stopping the job, its
// reports and questions, and the end of its run.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

#include "job/FrontEndTexts.h"
#include "job/Mp3FileCheck.h"
#include "job/ScreenVideoEncoderThread.h"
#include "ui/BitmapLayer.h"
#include "ui/Image32.h"
#include "ui/PageControl.h"
#include "ui/Unit1.h"

namespace quorvane {

namespace {

// Every kind of video file offered first (the dialog shows the patterns
// after the description), the AVI files alone beside them.
const char* const VideoFilesFilter =
    "Video files|*.avi *.mp4 *.m4v *.mov *.3gp *.mkv *.webm *.ts *.m2ts *.mts *.mpg *.mpeg *.ogv "
    "*.wmv *.mxf *.gif|AVI video files (*.avi)|*.avi";

QString Text(const std::string& Value) {
    return QString::fromStdString(Value);
}

// The name the output is written under: ".flv" appended unless it already
// ends so, in any letter case.
QString WithFlvExtension(const QString& Name) {
    return Name.endsWith(".flv", Qt::CaseInsensitive) ? Name : Name + ".flv";
}

bool IsMp3FileName(const QString& Name) {
    return Name.endsWith(".mp3", Qt::CaseInsensitive);
}

}  // namespace

std::string TForm1::FileNameBytes(const QString& Name) {
    return QFile::encodeName(Name).toStdString();
}

TForm1::~TForm1() {
    WindowGoing = true;
    if (JobRunning()) {
        Job->Terminate();
        WaitForRunToEnd();
    }
    ReleaseUnstartedJob();
}

bool TForm1::JobRunning() const {
    return Job && JobResumed;
}

// The job calls back into the window until its termination event has run.
void TForm1::WaitForRunToEnd() {
    while (JobRunning()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// A job that was never started holds its input file open: it goes when
// another input file is opened (or the window closes).
void TForm1::ReleaseUnstartedJob() {
    if (Job && !JobResumed) {
        delete Job;
        Job = nullptr;
    }
}

// A run in progress stops only when the user says so; the window then
// closes when the run has ended, so the output file is finished and valid.
void TForm1::closeEvent(QCloseEvent* Event) {
    if (!JobRunning()) {
        Event->accept();
        return;
    }
    Event->ignore();
    if (!CloseWhenJobEnds && AskToStopAndClose()) {
        CloseWhenJobEnds = true;
        Job->Terminate();
    }
}

bool TForm1::AskToStopAndClose() {
    return ShowMessageBox("Confirmation",
                          "Stop the conversion and close the window?\n"
                          "The output file keeps what was encoded until then.",
                          QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TForm1::OpenInputFile() {
    OpenDialog1.Filter = VideoFilesFilter;
    OpenDialog1.FileName.clear();
    if (OpenDialog1.Execute(this) && !JobRunning()) {
        OpenVideoFile(OpenDialog1.FileName);
    }
}

// The job that held the input before stays until the new file has opened:
// a file that does not open takes nothing away.
void TForm1::OpenVideoFile(const QString& Chosen) {
    if (JobRunning()) {
        return;
    }
    const QString FileName = QFileInfo(Chosen).absoluteFilePath();
    TFileDialog::RememberFolderOf(FileName);
    repaint();
    std::unique_ptr<TAVIToScreenVideoThread> Loaded = LoadedJob(FileName);
    StepLabel->clear();
    StatusLabel->clear();
    if (Loaded->State() != SourceOpen) {
        ShowOpeningFailure(*Loaded, FileName);
        return;
    }
    AdoptJob(std::move(Loaded), FileName);
    ShowOpenedFile();
}

std::unique_ptr<TAVIToScreenVideoThread> TForm1::LoadedJob(const QString& FileName) {
    auto Loaded = std::make_unique<TAVIToScreenVideoThread>(*this);
    Loaded->LoadVideoFile(FileNameBytes(FileName));
    return Loaded;
}

// The window owns the job until it is started; then it owns itself.
void TForm1::AdoptJob(std::unique_ptr<TAVIToScreenVideoThread> Loaded, const QString& FileName) {
    ReleaseUnstartedJob();
    Job = Loaded.release();
    InputFileName = FileName;
    Job->SetPriority(platform::TThreadPriority::tpIdle);
    Job->OnTerminate = [this](platform::TThread* Sender) { JobFinished(Sender); };
}

void TForm1::TakeMP3FormatChoice() {
    const int Index = ComboBox1->currentIndex();
    const bool Offered = Index >= 0 && static_cast<size_t>(Index) < MP3FormatList.size();
    MP3Format = Offered ? &MP3FormatList[Index].Format : nullptr;
    MP3InputFormat = Offered ? &MP3FormatList[Index].InputFormat : nullptr;
}

// The file's own sound comes along when it can, as users of converters
// expect, unless the user chose another audio (that choice stands for the
// files opened after, as far as each allows it).
void TForm1::ShowOpenedFile() {
    VideoFileEdit->setText(InputFileName);
    VideoDetailsLabel->setText(Text(Job->VideoDescription()));
    AudioDetailsLabel->setText(Text(Job->AudioDescription()));
    SetEnabled({StartButton, MP3AudioRadioButton, NoAudioRadioButton}, true);
    // The file's own audio needs an MP3 format to be converted to.
    const bool AviAudioOffered = Job->AudioUsable() && !MP3FormatList.empty();
    const bool ChoiceStands =
        AudioChosenByUser && (AudioChosenByUser != AVIAudioRadioButton || AviAudioOffered);
    QRadioButton* Default = AviAudioOffered ? AVIAudioRadioButton : NoAudioRadioButton;
    (ChoiceStands ? AudioChosenByUser : Default)->setChecked(true);
    SetEnabled({AVIAudioRadioButton, AudioDetailsLabel}, AviAudioOffered);
    // A crop, size or start set before shows on this file's picture; a
    // picture too large for the FLV without a size says so at once.
    PreviewStart = PreviewableStart().value_or(0);
    if (CropCheckBox->isChecked() || SizeCheckBox->isChecked() || PreviewStart > 0 ||
        !Job->PictureProblem({}).empty()) {
        PictureSettingsChange();
    }
}

// The message names the file and says why; with no input open before, the
// window stays without one.
void TForm1::ShowOpeningFailure(const TAVIToScreenVideoThread& Failed, const QString& FileName) {
    if (!Job) {
        ShowNoInput();
    }
    QString Message = Text(Failed.ErrorText()) + "\n\n" + FileName;
    if (!Failed.ErrorReason().empty()) {
        Message += "\n" + Text(Failed.ErrorReason());
    }
    ShowMessageBox("Error", Message, QMessageBox::Critical, QMessageBox::Ok);
}

// No file is open: nothing to start, and of the audio only "No audio".
void TForm1::ShowNoInput() {
    SetEnabled({AVIAudioRadioButton, MP3AudioRadioButton, StartButton}, false);
    NoAudioRadioButton->setChecked(true);
    VideoFileEdit->clear();
    VideoDetailsLabel->clear();
    AudioDetailsLabel->clear();
    AudioFileEdit->clear();
    InputFileName.clear();
}

void TForm1::OpenAudioFile() {
    OpenDialog1.Filter = "MP3 audio files (*.mp3)|*.mp3";
    OpenDialog1.FileName.clear();
    if (OpenDialog1.Execute(this)) {
        ChooseAudioFile(OpenDialog1.FileName);
    }
}

// A file in which no MP3 frame is found would give a file without sound
// under a report of success: it is refused here, with the file named.
bool TForm1::ChooseAudioFile(const QString& Chosen) {
    const QString FileName = QFileInfo(Chosen).absoluteFilePath();
    TFileDialog::RememberFolderOf(FileName);
    if (const std::string Problem = Mp3FileProblem(FileNameBytes(FileName)); !Problem.empty()) {
        ShowMessageBox("Error", Text(Problem), QMessageBox::Critical, QMessageBox::Ok);
        return false;
    }
    AudioFileEdit->setText(FileName);
    return true;
}

QString TForm1::DroppedFile(const QDropEvent& Event) const {
    const QList<QUrl> Urls = Event.mimeData()->urls();
    if (JobRunning() || Urls.size() != 1 || !Urls[0].isLocalFile()) {
        return {};
    }
    QString FileName = Urls[0].toLocalFile();
    // External audio goes with a video file.
    if (IsMp3FileName(FileName) && !MP3AudioRadioButton->isEnabled()) {
        return {};
    }
    return FileName;
}

void TForm1::dragEnterEvent(QDragEnterEvent* Event) {
    if (!DroppedFile(*Event).isEmpty()) {
        Event->acceptProposedAction();
    }
}

// A dropped MP3 file becomes the external audio, any other file the input.
void TForm1::dropEvent(QDropEvent* Event) {
    const QString FileName = DroppedFile(*Event);
    if (FileName.isEmpty()) {
        return;
    }
    Event->acceptProposedAction();
    Guarded([&] {
        if (!IsMp3FileName(FileName)) {
            OpenVideoFile(FileName);
        } else if (ChooseAudioFile(FileName)) {
            MP3AudioRadioButton->setChecked(true);
            AudioChosenByUser = MP3AudioRadioButton;
        }
    })();
}

// Everything that can be checked is checked before the output is asked
// for; the step and figures of an earlier run go first.
void TForm1::StartButtonClick() {
    if (!Job || JobRunning()) {
        return;
    }
    StepLabel->clear();
    StatusLabel->clear();
    if (MP3AudioRadioButton->isChecked() && !QFileInfo(AudioFileEdit->text()).isFile()) {
        ShowMessageBox("Error", NoExternalAudioFileText, QMessageBox::Warning, QMessageBox::Ok);
        PageControl1->setCurrentIndex(0);
        return;
    }
    if (!SettingsUsable()) {
        return;
    }
    SaveDialog.FileName = ProposedOutputName();
    if (!ChooseOutputFile() || !Job->PrepareEncoding(FileNameBytes(SaveDialog.FileName))) {
        return;
    }
    OutputFileName = SaveDialog.FileName;
    ProgressBar->show();
    JobResumed = true;
    Job->Resume();
    StopButton->setEnabled(true);
    StartButton->setEnabled(false);
}

// The questions concern the file that will be written, ".flv" appended; a
// name refused brings the dialog back.
bool TForm1::ChooseOutputFile() {
    while (SaveDialog.Execute(this)) {
        SaveDialog.FileName = WithFlvExtension(SaveDialog.FileName);
        OutputFolder = QFileInfo(SaveDialog.FileName).absolutePath();
        if (MayWriteOutput(SaveDialog.FileName)) {
            return true;
        }
    }
    return false;
}

// The input's name with ".flv", in the folder an output was chosen in last
// (the input's own before any): Enter in the dialog then means this file.
QString TForm1::ProposedOutputName() const {
    const QFileInfo Input(InputFileName);
    const QString Folder = OutputFolder.isEmpty() ? Input.absolutePath() : OutputFolder;
    return QDir(Folder).filePath(Input.completeBaseName() + ".flv");
}

bool TForm1::MayWriteOutput(const QString& FileName) {
    const QFileInfo Output(FileName);
    if (!Output.dir().exists()) {
        ShowMessageBox("Error", "The folder " + Output.path() + " does not exist.",
                       QMessageBox::Warning, QMessageBox::Ok);
        return false;
    }
    return !Output.exists() ||
           ShowMessageBox("Confirmation", Text(ReplaceQuestionText(FileName.toStdString(), "\n")),
                          QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TForm1::StopButtonClick() {
    if (JobRunning()) {
        Job->Terminate();
    }
}

void TForm1::JobFinished(platform::TThread* Sender) {
    const auto& Ended = static_cast<const TAVIToScreenVideoThread&>(*Sender);
    ProgressBar->hide();
    SetApplicationTitle(windowTitle());
    PreviewLayer->Bitmap.fill(Qt::black);
    PreviewImage->update();
    SetEnabled({StopButton, StartButton}, false);
    // The job deletes itself when this returns.
    Job = nullptr;
    JobResumed = false;
    if (WindowGoing) {
        return;
    }
    if (CloseWhenJobEnds) {
        close();
        return;
    }
    // A stop leaves no speed or time to go.
    if (Ended.Result().Outcome == TRunOutcome::Stopped) {
        StatusLabel->clear();
    }
    ReopenInput();
    // A run that failed has said why already.
    if (!Ended.Result().Failed()) {
        ShowEndReport(Ended);
    }
}

// A job runs once: the input is opened again in a new one, so that the
// user can convert it again, with other settings.
void TForm1::ReopenInput() {
    std::unique_ptr<TAVIToScreenVideoThread> Loaded = LoadedJob(InputFileName);
    if (Loaded->State() != SourceOpen) {
        ShowNoInput();
        return;
    }
    AdoptJob(std::move(Loaded), InputFileName);
    ShowOpenedFile();
}

// Shown without waiting for it: the window is ready for the next run. It
// says where the video is, or that nothing was written.
void TForm1::ShowEndReport(const TAVIToScreenVideoThread& Ended) {
    const TRunResult& Result = Ended.Result();
    const QString Where = !Result.OutputWritten
                              ? Text(NothingWrittenText(OutputFileName.toStdString(),
                                                        QFileInfo::exists(OutputFileName)))
                          : Result.Outcome == TRunOutcome::Stopped
                              ? "What was encoded until then is in:\n" + OutputFileName
                              : "The video is in:\n" + OutputFileName;
    QString Report = Text(Ended.StepText()) + "\n\n" + Where;
    if (!Result.AudioNote.empty()) {
        Report += "\n\n" + Text(Result.AudioNote);
    }
    auto* Box =
        new QMessageBox(QMessageBox::Information, "Information", Report, QMessageBox::Ok, this);
    Box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* OpenFolder = Box->addButton("Open folder", QMessageBox::ActionRole);
    const QUrl Folder = QUrl::fromLocalFile(QFileInfo(OutputFileName).absolutePath());
    connect(OpenFolder, &QPushButton::clicked, this,
            [Folder] { QDesktopServices::openUrl(Folder); });
    Box->setDefaultButton(QMessageBox::Ok);
    Box->open();
}

void TForm1::ShowStatus(const std::string& StepText) {
    StepLabel->setText(Text(StepText));
}

void TForm1::ShowProgress(const TProgressReport& Report) {
    SetApplicationTitle(QString::number(Report.ProgressPercent) + "% encoded - " + windowTitle());
    ProgressBar->setValue(Report.ProgressPercent);
    StatusLabel->setText(Text(Report.SpeedText + " - " + Report.RemainingText));
}

// The label keeps the last speed and time to go unless the run went to its
// end: then it reads the file's average rate and size.
void TForm1::ShowResult(const TRunResult& Result) {
    if (Result.Finished()) {
        StatusLabel->setText(Text(EndFiguresText(Result)));
    }
}

bool TForm1::AskYesNo(const std::string& Caption, const std::string& Question) {
    return ShowMessageBox(Text(Caption), Text(Question), QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TForm1::ShowMessage(const std::string& Caption, const std::string& Message) {
    ShowMessageBox(Text(Caption), Text(Message), QMessageBox::Critical, QMessageBox::Ok);
}

QMessageBox::StandardButton TForm1::ShowMessageBox(const QString& Caption, const QString& Message,
                                                   QMessageBox::Icon Icon,
                                                   QMessageBox::StandardButtons Buttons) {
    QString Lines = Message;
    Lines.replace("\r\n", "\n");
    QMessageBox Box(Icon, Caption, Lines, Buttons, this);
    // Enter must not replace or lose anything: every question defaults to No.
    if (Buttons & QMessageBox::No) {
        Box.setDefaultButton(QMessageBox::No);
    }
    return static_cast<QMessageBox::StandardButton>(Box.exec());
}

std::function<void()> TForm1::Guarded(std::function<void()> Handler) {
    return [this, Handler = std::move(Handler)] {
        try {
            Handler();
        } catch (const std::exception& Error) {
            ShowUnhandledError(Error);
        }
    };
}

// What the toolkit shows for an error no handler caught: the message, an
// error icon and OK, captioned with the application's title.
void TForm1::ShowUnhandledError(const std::exception& Error) {
    ShowMessageBox(ApplicationTitle(), QString::fromUtf8(Error.what()), QMessageBox::Critical,
                   QMessageBox::Ok);
}

}  // namespace quorvane
