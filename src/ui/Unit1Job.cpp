// Job control: choosing the files, starting and stopping the job, its
// reports and questions, and the end of its run.
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "job/ScreenVideoEncoderThread.h"
#include "ui/BitmapLayer.h"
#include "ui/Image32.h"
#include "ui/PageControl.h"
#include "ui/Unit1.h"

namespace quorvane {

namespace {

QString Text(const std::string& Value) {
    return QString::fromStdString(Value);
}

// The name the output is written under: ".flv" appended unless it already
// ends so, in any letter case.
QString WithFlvExtension(const QString& Name) {
    return Name.endsWith(".flv", Qt::CaseInsensitive) ? Name : Name + ".flv";
}

}  // namespace

std::string TForm1::FileNameBytes(const QString& Name) {
    return QFile::encodeName(Name).toStdString();
}

TForm1::~TForm1() {
    if (JobRunning()) {
        CloseWhenJobEnds = false;
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
// another input file is chosen (or the window closes).
void TForm1::ReleaseUnstartedJob() {
    if (Job && !JobResumed) {
        delete Job;
        Job = nullptr;
    }
}

// A run in progress is asked to stop; the window closes when it has ended,
// so the output file is finished and valid.
void TForm1::closeEvent(QCloseEvent* Event) {
    if (JobRunning()) {
        CloseWhenJobEnds = true;
        Job->Terminate();
        Event->ignore();
        return;
    }
    Event->accept();
}

void TForm1::OpenInputFile() {
    OpenDialog1.Filter = "AVI video files (*.avi)|*.avi";
    OpenDialog1.FileName.clear();
    if (!OpenDialog1.Execute(this) || JobRunning()) {
        return;
    }
    ReleaseUnstartedJob();
    TakeMP3FormatChoice();
    repaint();

    Job = new TAVIToScreenVideoThread(*this);
    Job->LoadVideoFile(FileNameBytes(OpenDialog1.FileName));
    Job->SetPriority(platform::TThreadPriority::tpIdle);
    Job->OnTerminate = [this](platform::TThread* Sender) { JobFinished(Sender); };
    StepLabel->clear();
    StatusLabel->clear();
    if (Job->State() == SourceOpen) {
        ShowOpenedFile();
    } else {
        ShowOpeningFailure();
    }
}

void TForm1::TakeMP3FormatChoice() {
    const int Index = ComboBox1->currentIndex();
    const bool Offered = Index >= 0 && static_cast<size_t>(Index) < MP3FormatList.size();
    MP3Format = Offered ? &MP3FormatList[Index] : nullptr;
    MP3InputFormat = Offered ? &MP3InputFormatList[Index] : nullptr;
}

void TForm1::ShowOpenedFile() {
    VideoFileEdit->setText(OpenDialog1.FileName);
    VideoDetailsLabel->setText(Text(Job->VideoDescription()));
    AudioDetailsLabel->setText(Text(Job->AudioDescription()));
    SetEnabled({StartButton, MP3AudioRadioButton, NoAudioRadioButton}, true);
    // The file's own audio needs an MP3 format to be converted to.
    const bool AviAudioOffered = Job->AudioUsable() && MP3Format;
    (AviAudioOffered ? AVIAudioRadioButton : NoAudioRadioButton)->setChecked(true);
    SetEnabled({AVIAudioRadioButton, AudioDetailsLabel}, AviAudioOffered);
}

void TForm1::ShowOpeningFailure() {
    SetEnabled({AVIAudioRadioButton, MP3AudioRadioButton}, false);
    NoAudioRadioButton->setChecked(true);
    ShowMessageBox("Error", Text(Job->ErrorText()), QMessageBox::NoIcon, QMessageBox::Ok);
    // The details described the file chosen before, which is no longer open.
    VideoFileEdit->clear();
    VideoDetailsLabel->clear();
    AudioDetailsLabel->clear();
}

void TForm1::OpenAudioFile() {
    OpenDialog1.Filter = "MP3 audio files (*.mp3)|*.mp3";
    OpenDialog1.FileName.clear();
    if (OpenDialog1.Execute(this)) {
        AudioFileEdit->setText(OpenDialog1.FileName);
    }
}

void TForm1::StartButtonClick() {
    if (!Job || JobRunning()) {
        return;
    }
    if (MP3AudioRadioButton->isChecked() && !QFileInfo(AudioFileEdit->text()).isFile()) {
        ShowMessageBox("Error",
                       "Please select an external audio file, or choose another source for the "
                       "audio.",
                       QMessageBox::Warning, QMessageBox::Ok);
        PageControl1->setCurrentIndex(0);
        return;
    }
    if (!SaveDialog.Execute(this)) {
        return;
    }
    SaveDialog.FileName = WithFlvExtension(SaveDialog.FileName);
    if (!Job->PrepareEncoding(FileNameBytes(SaveDialog.FileName))) {
        return;
    }
    ProgressBar->show();
    JobResumed = true;
    Job->Resume();
    StopButton->setEnabled(true);
    StartButton->setEnabled(false);
}

void TForm1::StopButtonClick() {
    if (JobRunning()) {
        Job->Terminate();
    }
}

void TForm1::JobFinished(platform::TThread*) {
    ProgressBar->hide();
    AudioDetailsLabel->clear();
    VideoDetailsLabel->clear();
    VideoFileEdit->clear();
    AudioFileEdit->clear();
    SetApplicationTitle(windowTitle());
    PreviewLayer->Bitmap.fill(Qt::black);
    PreviewImage->update();
    SetEnabled({StopButton, StartButton}, false);
    // The job deletes itself when this returns.
    Job = nullptr;
    JobResumed = false;
    if (CloseWhenJobEnds) {
        close();
    }
}

void TForm1::ShowStatus(const std::string& StepText) {
    StepLabel->setText(Text(StepText));
}

void TForm1::ShowProgress(const TProgressReport& Report) {
    SetApplicationTitle(QString::number(Report.ProgressPercent) + "% encoded - " + windowTitle());
    ProgressBar->setValue(Report.ProgressPercent);
    StatusLabel->setText(Text(Report.SpeedText + " - " + Report.RemainingText));
}

bool TForm1::AskYesNo(const std::string& Caption, const std::string& Question) {
    bool Yes = false;
    platform::RunOnMainThread([&] {
        Yes = ShowMessageBox(Text(Caption), Text(Question), QMessageBox::Question,
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    });
    return Yes;
}

void TForm1::ShowMessage(const std::string& Caption, const std::string& Message) {
    platform::RunOnMainThread([&] {
        ShowMessageBox(Text(Caption), Text(Message), QMessageBox::Critical, QMessageBox::Ok);
    });
}

QMessageBox::StandardButton TForm1::ShowMessageBox(const QString& Caption, const QString& Message,
                                                   QMessageBox::Icon Icon,
                                                   QMessageBox::StandardButtons Buttons) {
    QString Lines = Message;
    Lines.replace("\r\n", "\n");
    QMessageBox Box(Icon, Caption, Lines, Buttons, this);
    return static_cast<QMessageBox::StandardButton>(Box.exec());
}

std::function<void()> TForm1::Guarded(std::function<void()> Handler) {
    return [this, Handler] {
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
