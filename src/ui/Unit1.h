// The main window: every setting of a conversion in its controls, the
// choice of files, Start and Stop, and the display of the job's reports.
#pragma once

#include <QIcon>
#include <QList>
#include <QMessageBox>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/JobFrontEnd.h"
#include "job/Mp3Formats.h"
#include "ui/FileDialog.h"

class QCheckBox;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QGroupBox;
class QInputMethodEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QRadioButton;

namespace quorvane {

namespace platform {
class TThread;
}
class TAVIToScreenVideoThread;
class TAnchors;
class TBitmapLayer;
class TGapLabel;
class TImage32;
class TPageControl;

class TForm1 : public QWidget, public IJobFrontEnd {
public:
    // OfferMP3Formats: where the MP3 formats come from (the installed
    // codecs; tests hand in their own offer).
    explicit TForm1(
        std::function<TMp3FormatOffer()> OfferMP3Formats = quorvane::EnumerateMP3Formats);
    ~TForm1() override;

    // The application's title: what the desktop's task list shows for the
    // program (the window's icon text). The caption is not changed by it.
    QString ApplicationTitle() const;
    void SetApplicationTitle(const QString& Title);

    // Whether a job has been started and has not ended yet.
    bool JobRunning() const;

    // Opens FileName as the input, as when it is chosen in the input
    // dialog; a file that does not open is reported, and the input opened
    // before stays.
    void OpenVideoFile(const QString& FileName);
    // Makes FileName the external audio, as when it is chosen in the audio
    // dialog; a file without MP3 audio is refused, saying so. True when
    // taken.
    bool ChooseAudioFile(const QString& FileName);

    // The controls, named as the window's design names them.
    QPushButton* StartButton;
    TFileDialog OpenDialog1{TFileDialog::TKind::Open};
    QPushButton* StopButton;
    QLineEdit* RToleranceEdit;
    QLineEdit* BToleranceEdit;
    QLineEdit* GToleranceEdit;
    QLabel* Label1;
    QGroupBox* GroupBox2;
    QLineEdit* BlockToleranceEdit;
    TGapLabel* Label2;
    TGapLabel* Label4;
    QLineEdit* KeyFrameIntervalEdit;
    QRadioButton* LosslessRadioButton;
    QRadioButton* BitrateCompressionRadioButton;
    QRadioButton* QualityCompressionRadioButton;
    TGapLabel* Label5;
    QLineEdit* BitRateEdit;
    QCheckBox* ColorReductionCheckBox;
    QComboBox* ColorLimitComboBox;
    TGapLabel* Label6;
    QComboBox* BlockWidthComboBox;
    QComboBox* BlockHeightComboBox;
    // Read by the event filter, which sees events while the window is built.
    TImage32* PreviewImage = nullptr;
    QGroupBox* GroupBox3;
    QComboBox* ComboBox1;
    QProgressBar* ProgressBar;
    QComboBox* PreviewStyleComboBox;
    QCheckBox* PreviewCheckBox;
    TPageControl* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QWidget* TabSheet4;  // the range and the picture
    QLabel* StepLabel;
    QLabel* StatusLabel;
    QGroupBox* GroupBox4;
    QList<QIcon> ImageList1;
    QLabel* Label3;
    QLineEdit* VideoFileEdit;
    QPushButton* Button1;
    QLabel* VideoDetailsLabel;
    QRadioButton* AVIAudioRadioButton;
    QRadioButton* MP3AudioRadioButton;
    QLineEdit* AudioFileEdit;
    QPushButton* Button2;
    QLabel* AudioDetailsLabel;
    QRadioButton* NoAudioRadioButton;
    QGroupBox* GroupBox1;
    QGroupBox* GroupBox5;
    TFileDialog SaveDialog{TFileDialog::TKind::Save};
    QLabel* Label7;
    QLabel* Label8;
    QCheckBox* KeyFrameCheckBox;
    QCheckBox* FrameRateLimitCheckBox;
    TGapLabel* Label9;
    QLineEdit* FrameRateLimitEdit;
    QCheckBox* MetadataCheckBox;
    QLabel* MetadataLabel;  // what the seek index is for
    QGroupBox* GroupBox6;   // the range
    QLabel* Label10;
    QLineEdit* RangeStartEdit;
    QLabel* Label11;
    QLineEdit* RangeEndEdit;
    QLabel* RangeLabel;  // how times are written
    // The crop and the size, in the picture as shown, below the range.
    QGroupBox* PictureGroupBox;
    QCheckBox* CropCheckBox;
    TGapLabel* CropLabel;
    QLineEdit* CropWidthEdit;
    QLineEdit* CropHeightEdit;
    QLineEdit* CropLeftEdit;
    QLineEdit* CropTopEdit;
    QCheckBox* SizeCheckBox;
    TGapLabel* SizeLabel;
    QLineEdit* SizeWidthEdit;
    QLineEdit* SizeHeightEdit;
    QLabel* PictureNoteLabel;  // how the fields count
    QLabel* PictureSizeLabel;  // the output's size, or why the fields can't be used

    // The MP3 formats offered for the video file's own audio, each with the
    // PCM format it is made from and its caption, in the order of ComboBox1.
    TMp3FormatOffer MP3FormatList;
    // The current job: owned by the window until it is started, then by
    // itself; none once its run has ended.
    TAVIToScreenVideoThread* Job = nullptr;
    // The MP3 format record chosen when the run was prepared last, and the
    // PCM format record it is made from; both belong to MP3FormatList.
    const std::vector<uint8_t>* MP3Format = nullptr;
    const std::vector<uint8_t>* MP3InputFormat = nullptr;
    // The preview picture, a layer of PreviewImage.
    TBitmapLayer* PreviewLayer = nullptr;
    // The range's start the preview shows (ms), taken from its edit once
    // typing rests there (RangeStartTimer) or the edit is left.
    int32_t PreviewStart = 0;
    QTimer* RangeStartTimer = nullptr;
    static constexpr int RangeStartRest = 600;  // ms

    // Settings handlers.
    void FormCreate();
    void PageControl1Changing(bool& AllowChange);
    void CompressionRadioButtonClick();
    void SettingsCheckBoxClick();
    void AudioRadioButtonClick();
    void PreviewCheckBoxClick();
    // Checks the crop and size as they are typed against the open file: the
    // size of the output, or why they can't be used; the preview shows the
    // picture at PreviewStart as the output will hold it.
    void PictureSettingsChange();
    // Moves the preview to the start typed, when the video reaches it.
    void RangeStartChange();
    std::optional<int32_t> PreviewableStart() const;
    // Key is the typed 8-bit character; 0 discards the keystroke.
    void ComboBoxKeyPress(QObject* Sender, char& Key);
    void EnumerateMP3Formats();

    // Job control handlers.
    void OpenInputFile();
    void OpenAudioFile();
    void StartButtonClick();
    void StopButtonClick();
    void JobFinished(platform::TThread* Sender);
    void FormResize();

    // The job's front end.
    TJobSettings ReadSettings() override;
    void PreparePreview(int32_t Width, int32_t Height) override;
    void ShowStatus(const std::string& StepText) override;
    void ShowProgress(const TProgressReport& Report) override;
    void ShowPreview(const platform::TPicture& Frame) override;
    void ShowResult(const TRunResult& Result) override;
    bool AskYesNo(const std::string& Caption, const std::string& Text) override;
    void ShowMessage(const std::string& Caption, const std::string& Text) override;

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // Layout, page by page.
    void CreatePageControl();
    void CreateFilesPage();
    void CreateParametersPage();
    void CreateRangePage();
    void CreatePictureGroup();
    void CreateProcessPage();
    void SetFocusOrder();
    void NameControls();
    void DescribeControls();
    void FitScreen();
    void BindHandlers();
    void BindShortcuts();
    QLineEdit* NumberEdit(QWidget* Parent, const QRect& Geometry, const QString& Text);
    QLineEdit* TimeEdit(QWidget* Parent, const QRect& Geometry);
    // What a number edit holds and the words for it.
    struct TNumberField {
        QLineEdit* Edit;
        QString Name;  // its accessible name, which messages use too
        int32_t Minimum;
        int32_t Maximum;
        QString Unit;
    };
    std::vector<TNumberField> NumberFields() const;
    // What a time edit takes, as its refusal says it.
    static inline const QString TimeFieldText = "a time in seconds or [HH:]MM:SS[.mmm]";
    // The edit's number; throws EFieldRefused naming the field when it
    // holds no whole number of the field's range.
    int32_t NumberOf(const QLineEdit& Edit) const;
    // The range's edits as the job takes them; throws EFieldRefused naming
    // the field that holds no time, or the end when it does not come after
    // the start.
    TRangeSettings ReadRange() const;
    // The edit's time; none when it is empty.
    std::optional<int32_t> TimeOf(const QLineEdit& Edit) const;
    // The crop and size as the job takes them (an empty side of the size
    // keeps the aspect); throws EFieldRefused naming the field that holds
    // no number of its range, or both sides of the size empty.
    platform::TPictureGeometry ReadPictureGeometry() const;
    // A key or text refused by a number or time edit: said beside it.
    void ShowRefusal(QLineEdit* Edit);
    // The field shown on its page, focused, an edit's text selected.
    void FocusField(QWidget* Field);
    QComboBox* DropDownList(QWidget* Parent, const QRect& Geometry, const QStringList& Items);
    static void SetEnabled(std::initializer_list<QWidget*> Controls, bool Enabled);
    // Text an input method commits to a number edit: its digits (and, in a
    // time edit, its colons and points).
    void FilterCommittedText(QLineEdit* Edit, QInputMethodEvent& Event);
    // A file name as the job takes it: the bytes the system knows it by.
    static std::string FileNameBytes(const QString& Name);

    // Runs a handler; an exception it lets out is reported as the toolkit
    // reports an unhandled error.
    std::function<void()> Guarded(std::function<void()> Handler);
    void ShowUnhandledError(const std::exception& Error);
    QMessageBox::StandardButton ShowMessageBox(const QString& Caption, const QString& Text,
                                               QMessageBox::Icon Icon,
                                               QMessageBox::StandardButtons Buttons);

    TAudioSettings ReadAudioSettings() const;
    // Checks the settings before an output is asked for: a number or time
    // that can't be used, a range the file does not hold, or a crop or size
    // its picture can't take, is named, with
    // its page shown and the edit focused.
    bool SettingsUsable();

    // Job control steps.
    std::unique_ptr<TAVIToScreenVideoThread> LoadedJob(const QString& FileName);
    void AdoptJob(std::unique_ptr<TAVIToScreenVideoThread> Loaded, const QString& FileName);
    void ReleaseUnstartedJob();
    void TakeMP3FormatChoice();
    void ShowOpenedFile();
    void ShowOpeningFailure(const TAVIToScreenVideoThread& Failed, const QString& FileName);
    void ShowNoInput();
    bool ChooseOutputFile();
    QString ProposedOutputName() const;
    bool MayWriteOutput(const QString& FileName);
    void ReopenInput();
    void ShowEndReport(const TAVIToScreenVideoThread& Ended);
    bool AskToStopAndClose();
    void WaitForRunToEnd();
    // The file a drop brings, when the window can take it now.
    QString DroppedFile(const QDropEvent& Event) const;

    std::function<TMp3FormatOffer()> OfferMP3Formats;
    TAnchors* Anchors;
    QString Title;
    QString InputFileName;   // of the current job
    QString OutputFileName;  // of the run started last
    QString OutputFolder;    // of the name chosen last in the save dialog
    // The audio choice the user made, which files opened later keep.
    QRadioButton* AudioChosenByUser = nullptr;
    bool JobResumed = false;
    bool CloseWhenJobEnds = false;
    bool WindowGoing = false;
};

}  // namespace quorvane
