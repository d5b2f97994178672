// The window's controls: their places, captions, initial states, focus
// order and handlers.
#include "ui/Unit1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QValidator>
#include <algorithm>

#include "job/TimeTexts.h"
#include "ui/Anchors.h"
#include "ui/GapLabel.h"
#include "ui/Image32.h"
#include "ui/PageControl.h"
#include "ui/TabIcons.h"

namespace quorvane {

namespace {

// Client sizes at design time; anchored controls keep their distances to
// the anchored sides of these.
const QSize FormClientSize(607, 499);
const QSize PageSize(583, 454);
const QSize FileGroupSize(565, 97);
const QSize AudioGroupSize(565, 193);
const QSize PictureGroupSize(565, 170);
// What each page's controls need: below it the page scrolls. The preview
// view grows and shrinks with its page, so the process page needs little.
const QSize FilesPageMinimumSize(570, 312);
const QSize ParametersPageMinimumSize(570, 447);
const QSize RangePageMinimumSize(570, 306);
const QSize ProcessPageMinimumSize(570, 200);
// Room kept around the window on a screen too small for it, for the frame
// the desktop draws (the title bar above all).
const QSize FrameAllowance(8, 48);

// The design font is not found on Linux. Carlito at the design's 11 pixels
// is as compact and as tall (13 pixels a line), so every caption fits its
// control at the design sizes.
QFont DesignFont() {
    QFont Font("Carlito");
    Font.setPixelSize(11);
    return Font;
}

template <class TControl>
TControl* Place(TControl* Control, const QRect& Geometry) {
    Control->setGeometry(Geometry);
    return Control;
}

QLabel* AutoSizeLabel(QWidget* Parent, QPoint At, const QString& Caption) {
    auto* Label = new QLabel(Caption, Parent);
    Label->setTextFormat(Qt::PlainText);
    Label->move(At);
    Label->adjustSize();
    return Label;
}

QLabel* FixedSizeLabel(QWidget* Parent, const QRect& Geometry) {
    auto* Label = Place(new QLabel(Parent), Geometry);
    Label->setTextFormat(Qt::PlainText);
    return Label;
}

TGapLabel* GapLabel(QWidget* Parent, const QRect& Geometry, const QString& Caption) {
    auto* Label = Place(new TGapLabel(Caption, Parent), Geometry);
    Label->setTextFormat(Qt::PlainText);
    return Label;
}

// A page too small for its controls (a small screen, a large scale factor)
// scrolls instead of cutting them off; the tab's own face shows through.
QScrollArea* ScrolledPage(QWidget* Sheet, QSize MinimumSize) {
    auto* Scroller = new QScrollArea;
    Scroller->setFrameShape(QFrame::NoFrame);
    Scroller->setWidgetResizable(true);
    Sheet->setMinimumSize(MinimumSize);
    Scroller->setWidget(Sheet);
    Sheet->setAutoFillBackground(false);
    Scroller->viewport()->setAutoFillBackground(false);
    return Scroller;
}

// Digits only, up to the field's largest number; below its smallest (or
// empty) while the user is on the way to a number, refused when Start is
// pressed.
class TNumberValidator : public QValidator {
public:
    TNumberValidator(int32_t Minimum, int32_t Maximum, QObject* Parent)
        : QValidator(Parent), Minimum(Minimum), Maximum(Maximum) {}

    State validate(QString& Input, int&) const override {
        const bool Digits =
            std::all_of(Input.begin(), Input.end(), [](QChar C) { return C >= '0' && C <= '9'; });
        if (!Digits || Input.size() > 10) {
            return Invalid;
        }
        const qlonglong Value = Input.toLongLong();
        if (Input.isEmpty() || Value < Minimum) {
            return Intermediate;
        }
        return Value <= Maximum ? Acceptable : Invalid;
    }

private:
    int32_t Minimum;
    int32_t Maximum;
};

// A time that could still become one as it is typed: completed with the
// digits it lacks ("1:" as "1:00", "1:5" as "1:50", "2." as "2.0").
bool CouldBecomeTime(const QString& Text) {
    QString Completed = Text;
    const qsizetype Point = Completed.indexOf('.');
    const qsizetype LastColon = Completed.lastIndexOf(':');
    if (Point == -1) {
        const qsizetype LastField = Completed.size() - LastColon - 1;
        if (LastColon != -1 && LastField < 2) {
            Completed += QString(2 - LastField, '0');
        }
    } else if (Point == Completed.size() - 1) {
        Completed += '0';
    }
    return TimeFromText(Completed.toStdString()).has_value();
}

// Seconds or [HH:]MM:SS[.mmm], or nothing (from the beginning, to the end);
// on the way to one while it is typed, refused when Start is pressed.
class TTimeValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& Input, int&) const override {
        if (Input.isEmpty() || TimeFromText(Input.toStdString())) {
            return Acceptable;
        }
        return CouldBecomeTime(Input) ? Intermediate : Invalid;
    }
};

// Screen readers on Linux take a list's name from the label it is labelled
// by (its own name is the item shown): a list without a caption of its own
// gets a label that is not shown.
void NameList(QComboBox* List, const QString& Name) {
    List->setAccessibleName(Name);
    auto* Label = new QLabel(Name, List->parentWidget());
    Label->setBuddy(List);
    Label->adjustSize();
    Label->hide();
}

// Read-only, and it looks it: the button face shows through where typing
// would go, as in the desktop's own read-only fields.
QLineEdit* ReadOnlyEdit(QWidget* Parent, const QRect& Geometry) {
    auto* Edit = Place(new QLineEdit(Parent), Geometry);
    Edit->setReadOnly(true);
    QPalette Palette = Edit->palette();
    for (const QPalette::ColorGroup Group : {QPalette::Active, QPalette::Inactive}) {
        Palette.setColor(Group, QPalette::Base, Palette.color(Group, QPalette::Window));
    }
    Edit->setPalette(Palette);
    return Edit;
}

}  // namespace

TForm1::TForm1(std::function<TMp3FormatOffer()> OfferMP3Formats)
    : OfferMP3Formats(std::move(OfferMP3Formats)), Anchors(new TAnchors(this)) {
    setFont(DesignFont());
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setAcceptDrops(true);
    CreatePageControl();
    CreateFilesPage();
    CreateParametersPage();
    CreateRangePage();
    CreatePictureGroup();
    CreateProcessPage();
    SaveDialog.Filter = "Flash video files (*.flv)|*.flv";
    SetFocusOrder();
    NameControls();
    DescribeControls();
    BindHandlers();
    BindShortcuts();
    FormCreate();
    FitScreen();
}

// The design size, or what the screen offers when that is less; the window
// opens centred, its frame on the screen.
void TForm1::FitScreen() {
    const QRect Available = screen()->availableGeometry();
    const QSize Size = FormClientSize.boundedTo(Available.size() - FrameAllowance);
    setMinimumSize(Size);
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, Size, Available));
}

void TForm1::CreatePageControl() {
    PageControl1 = Place(new TPageControl(this), QRect(8, 8, 591, 483));
    Anchors->Anchor(PageControl1, akLeft | akTop | akRight | akBottom, FormClientSize);
    ImageList1 = DrawTabIcons();
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    TabSheet4 = new QWidget;
    PageControl1->addTab(ScrolledPage(TabSheet1, FilesPageMinimumSize), ImageList1[0],
                         "Audio and video files");
    PageControl1->addTab(ScrolledPage(TabSheet2, ParametersPageMinimumSize), ImageList1[1],
                         "Encoding parameters");
    PageControl1->addTab(ScrolledPage(TabSheet4, RangePageMinimumSize), ImageList1[2],
                         "Range and picture");
    PageControl1->addTab(ScrolledPage(TabSheet3, ProcessPageMinimumSize), ImageList1[3],
                         "Encoding process");
    PageControl1->setCurrentIndex(3);
}

void TForm1::CreateFilesPage() {
    const int LTR = akLeft | akTop | akRight;
    const int TR = akTop | akRight;

    GroupBox1 = Place(new QGroupBox(" Video ", TabSheet1), QRect(8, 8, 565, 97));
    Anchors->Anchor(GroupBox1, LTR, PageSize);
    Label3 = AutoSizeLabel(GroupBox1, QPoint(24, 35), "&File:");
    VideoFileEdit = ReadOnlyEdit(GroupBox1, QRect(48, 32, 457, 21));
    Anchors->Anchor(VideoFileEdit, LTR, FileGroupSize);
    Button1 = Place(new QPushButton("...", GroupBox1), QRect(514, 32, 35, 21));
    Anchors->Anchor(Button1, TR, FileGroupSize);
    VideoDetailsLabel = FixedSizeLabel(GroupBox1, QRect(48, 62, 457, 13));
    Anchors->Anchor(VideoDetailsLabel, LTR, FileGroupSize);

    GroupBox5 = Place(new QGroupBox(" Audio ", TabSheet1), QRect(8, 112, 565, 193));
    Anchors->Anchor(GroupBox5, LTR, PageSize);
    AVIAudioRadioButton =
        Place(new QRadioButton("Use &included audio", GroupBox5), QRect(24, 34, 113, 17));
    AVIAudioRadioButton->setEnabled(false);
    AudioDetailsLabel = FixedSizeLabel(GroupBox5, QRect(48, 58, 505, 13));
    Anchors->Anchor(AudioDetailsLabel, LTR, AudioGroupSize);
    MP3AudioRadioButton =
        Place(new QRadioButton("Use an e&xternal audio file", GroupBox5), QRect(24, 88, 145, 17));
    MP3AudioRadioButton->setEnabled(false);
    AudioFileEdit = ReadOnlyEdit(GroupBox5, QRect(48, 112, 457, 21));
    AudioFileEdit->setEnabled(false);
    Anchors->Anchor(AudioFileEdit, LTR, AudioGroupSize);
    Button2 = Place(new QPushButton("...", GroupBox5), QRect(514, 112, 35, 21));
    Button2->setEnabled(false);
    Anchors->Anchor(Button2, TR, AudioGroupSize);
    NoAudioRadioButton = Place(new QRadioButton("&No audio", GroupBox5), QRect(24, 152, 65, 17));
    NoAudioRadioButton->setChecked(true);
}

void TForm1::CreateParametersPage() {
    const int LTR = akLeft | akTop | akRight;

    GroupBox3 = Place(new QGroupBox(" Video compression ", TabSheet2), QRect(8, 8, 565, 185));
    Anchors->Anchor(GroupBox3, LTR, PageSize);
    LosslessRadioButton =
        Place(new QRadioButton("&Lossless compression", GroupBox3), QRect(24, 32, 121, 17));
    LosslessRadioButton->setChecked(true);
    BitrateCompressionRadioButton = Place(
        new QRadioButton("&Bitrate based lossy compression", GroupBox3), QRect(24, 64, 175, 17));
    Label5 = GapLabel(GroupBox3, QRect(56, 90, 257, 13),
                      "&Maximum bitrate:              KBps (excluding keyframes)");
    BitRateEdit = NumberEdit(GroupBox3, QRect(144, 87, 33, 21), "250");
    QualityCompressionRadioButton = Place(
        new QRadioButton("&Quality based lossy compression", GroupBox3), QRect(24, 120, 177, 17));
    Label1 = FixedSizeLabel(GroupBox3, QRect(48, 146, 189, 13));
    Label1->setText("&Pixel color tolerance (% of RGB colors):");
    RToleranceEdit = NumberEdit(GroupBox3, QRect(240, 143, 25, 21), "30");
    GToleranceEdit = NumberEdit(GroupBox3, QRect(272, 143, 25, 21), "15");
    BToleranceEdit = NumberEdit(GroupBox3, QRect(304, 143, 25, 21), "30");
    Label2 =
        GapLabel(GroupBox3, QRect(360, 146, 185, 13), "Block pixels &change tolerance:          %");
    BlockToleranceEdit = NumberEdit(GroupBox3, QRect(508, 143, 25, 21), "3");
    SetEnabled({Label5, BitRateEdit, Label1, RToleranceEdit, GToleranceEdit, BToleranceEdit, Label2,
                BlockToleranceEdit},
               false);

    GroupBox4 = Place(new QGroupBox(" Audio compression ", TabSheet2), QRect(8, 200, 565, 97));
    Anchors->Anchor(GroupBox4, LTR, PageSize);
    Label8 = AutoSizeLabel(GroupBox4, QPoint(24, 31), "&AVI audio recompression:");
    ComboBox1 = DropDownList(GroupBox4, QRect(152, 28, 233, 21), {});
    Label7 =
        AutoSizeLabel(GroupBox4, QPoint(24, 63),
                      "Note: external audio files are not recompressed to ensure best quality.");

    GroupBox2 = Place(new QGroupBox(" Advanced settings ", TabSheet2), QRect(8, 304, 565, 143));
    Anchors->Anchor(GroupBox2, LTR, PageSize);
    KeyFrameCheckBox = Place(new QCheckBox("Insert &keyframe", GroupBox2), QRect(24, 31, 97, 17));
    Label4 = GapLabel(GroupBox2, QRect(123, 33, 134, 13), "e&very                 milliseconds");
    KeyFrameIntervalEdit = NumberEdit(GroupBox2, QRect(155, 30, 41, 21), "10000");
    FrameRateLimitCheckBox =
        Place(new QCheckBox("Limi&t frame rate", GroupBox2), QRect(304, 31, 97, 17));
    Label9 = GapLabel(GroupBox2, QRect(403, 33, 58, 13), "t&o           fps");
    FrameRateLimitEdit = NumberEdit(GroupBox2, QRect(419, 30, 22, 21), "10");
    SetEnabled({Label4, KeyFrameIntervalEdit, Label9, FrameRateLimitEdit}, false);
    Label6 = GapLabel(GroupBox2, QRect(24, 68, 196, 13),
                      "Block size:                   x                   pixels");
    BlockWidthComboBox = DropDownList(GroupBox2, QRect(76, 65, 49, 21), {});
    BlockHeightComboBox = DropDownList(GroupBox2, QRect(140, 65, 49, 21), {});
    ColorReductionCheckBox =
        Place(new QCheckBox("Limit the number of colo&rs to", GroupBox2), QRect(24, 104, 153, 17));
    ColorLimitComboBox =
        DropDownList(GroupBox2, QRect(182, 102, 83, 21), {"19k colors", "2k colors", "304 colors"});
    // Off with its check box, as the other settings of a check box are.
    ColorLimitComboBox->setEnabled(false);
    MetadataCheckBox =
        Place(new QCheckBox("A&dd a seek index", GroupBox2), QRect(304, 66, 150, 17));
    MetadataLabel = FixedSizeLabel(GroupBox2, QRect(322, 86, 230, 26));
    MetadataLabel->setText(
        "Players then show the duration and can seek.\nAdded once the file is complete.");

    Label5->SetGapControls({BitRateEdit});
    Label2->SetGapControls({BlockToleranceEdit});
    Label4->SetGapControls({KeyFrameIntervalEdit});
    Label9->SetGapControls({FrameRateLimitEdit});
    Label6->SetGapControls({BlockWidthComboBox, BlockHeightComboBox});
}

void TForm1::CreateRangePage() {
    GroupBox6 = Place(new QGroupBox(" Range ", TabSheet4), QRect(8, 8, 565, 105));
    Anchors->Anchor(GroupBox6, akLeft | akTop | akRight, PageSize);
    Label10 = AutoSizeLabel(GroupBox6, QPoint(24, 35), "Startin&g at:");
    RangeStartEdit = TimeEdit(GroupBox6, QRect(88, 32, 97, 21));
    Label11 = AutoSizeLabel(GroupBox6, QPoint(216, 35), "&Ending at:");
    RangeEndEdit = TimeEdit(GroupBox6, QRect(276, 32, 97, 21));
    RangeLabel = FixedSizeLabel(GroupBox6, QRect(24, 64, 525, 26));
    RangeLabel->setText(
        "Seconds (90, 12.5) or [HH:]MM:SS[.mmm]; empty: from the beginning, to the end.\n"
        "The picture shown at the start is the first frame; the sound is cut there too.");
}

// Below the range: the crop's four numbers and the size's two, each row
// after its check box; the group says how they count, and what the output's
// size comes to.
void TForm1::CreatePictureGroup() {
    PictureGroupBox = Place(new QGroupBox(" Picture ", TabSheet4), QRect(8, 120, 565, 170));
    Anchors->Anchor(PictureGroupBox, akLeft | akTop | akRight, PageSize);
    CropCheckBox =
        Place(new QCheckBox("Crop t&he picture to", PictureGroupBox), QRect(24, 31, 121, 17));
    CropLabel = GapLabel(PictureGroupBox, QRect(148, 33, 320, 13),
                         "                x                pixels, from the left"
                         "                and the top");
    CropWidthEdit = NumberEdit(PictureGroupBox, QRect(148, 30, 33, 21), "640");
    CropHeightEdit = NumberEdit(PictureGroupBox, QRect(196, 30, 33, 21), "360");
    CropLeftEdit = NumberEdit(PictureGroupBox, QRect(336, 30, 33, 21), "0");
    CropTopEdit = NumberEdit(PictureGroupBox, QRect(432, 30, 33, 21), "0");
    SizeCheckBox =
        Place(new QCheckBox("Resi&ze the picture to", PictureGroupBox), QRect(24, 64, 121, 17));
    SizeLabel = GapLabel(PictureGroupBox, QRect(148, 66, 120, 13),
                         "                x                pixels");
    SizeWidthEdit = NumberEdit(PictureGroupBox, QRect(148, 63, 33, 21), "1280");
    SizeHeightEdit = NumberEdit(PictureGroupBox, QRect(196, 63, 33, 21), "");
    SetEnabled({CropLabel, CropWidthEdit, CropHeightEdit, CropLeftEdit, CropTopEdit, SizeLabel,
                SizeWidthEdit, SizeHeightEdit},
               false);
    PictureNoteLabel = FixedSizeLabel(PictureGroupBox, QRect(24, 98, 525, 26));
    PictureNoteLabel->setText(
        "Pixels of the picture as shown: turned upright, pixels made square. The size applies\n"
        "to the crop; a side left empty keeps its aspect. The picture is scaled once.");
    PictureSizeLabel = FixedSizeLabel(PictureGroupBox, QRect(24, 132, 525, 26));
    PictureSizeLabel->setWordWrap(true);
    Anchors->Anchor(PictureSizeLabel, akLeft | akTop | akRight, PictureGroupSize);

    CropLabel->SetGapControls({CropWidthEdit, CropHeightEdit, CropLeftEdit});
    SizeLabel->SetGapControls({SizeWidthEdit, SizeHeightEdit});
}

void TForm1::CreateProcessPage() {
    StartButton = Place(new QPushButton("&Start", TabSheet3), QRect(8, 8, 65, 25));
    StartButton->setEnabled(false);
    StopButton = Place(new QPushButton("S&top", TabSheet3), QRect(88, 8, 65, 25));
    StopButton->setEnabled(false);
    PreviewCheckBox =
        Place(new QCheckBox("Previe&w input image", TabSheet3), QRect(400, 12, 117, 17));
    PreviewCheckBox->setChecked(true);
    Anchors->Anchor(PreviewCheckBox, akTop | akRight, PageSize);
    PreviewStyleComboBox =
        DropDownList(TabSheet3, QRect(518, 10, 57, 21), {"50%", "100%", "200%", "300%", "Auto"});
    PreviewStyleComboBox->setCurrentIndex(4);
    Anchors->Anchor(PreviewStyleComboBox, akTop | akRight, PageSize);
    PreviewImage = Place(new TImage32(TabSheet3), QRect(8, 42, 566, 367));
    Anchors->Anchor(PreviewImage, akLeft | akTop | akRight | akBottom, PageSize);
    // The step label reaches under the progress bar to the status label: the
    // longest step text, shown when nothing runs and the bar is hidden, is
    // wider than the room left of the bar.
    StepLabel = FixedSizeLabel(TabSheet3, QRect(10, 421, 276, 13));
    Anchors->Anchor(StepLabel, akLeft | akBottom, PageSize);
    ProgressBar = Place(new QProgressBar(TabSheet3), QRect(162, 419, 120, 17));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();
    Anchors->Anchor(ProgressBar, akLeft | akBottom, PageSize);
    StatusLabel = FixedSizeLabel(TabSheet3, QRect(290, 421, 287, 13));
    Anchors->Anchor(StatusLabel, akLeft | akRight | akBottom, PageSize);
}

void TForm1::SetEnabled(std::initializer_list<QWidget*> Controls, bool Enabled) {
    for (QWidget* Control : Controls) {
        Control->setEnabled(Enabled);
    }
}

QLineEdit* TForm1::NumberEdit(QWidget* Parent, const QRect& Geometry, const QString& Text) {
    auto* Edit = Place(new QLineEdit(Text, Parent), Geometry);
    Edit->installEventFilter(this);
    connect(Edit, &QLineEdit::inputRejected, this, [this, Edit] { ShowRefusal(Edit); });
    return Edit;
}

QLineEdit* TForm1::TimeEdit(QWidget* Parent, const QRect& Geometry) {
    auto* Edit = Place(new QLineEdit(Parent), Geometry);
    Edit->installEventFilter(this);
    Edit->setValidator(new TTimeValidator(Edit));
    connect(Edit, &QLineEdit::inputRejected, this, [this, Edit] { ShowRefusal(Edit); });
    return Edit;
}

QComboBox* TForm1::DropDownList(QWidget* Parent, const QRect& Geometry, const QStringList& Items) {
    auto* List = Place(new QComboBox(Parent), Geometry);
    List->addItems(Items);
    // Typing into the open list would pick an item too.
    List->installEventFilter(this);
    List->view()->installEventFilter(this);
    return List;
}

// Each page from top to bottom, a row from left to right.
void TForm1::SetFocusOrder() {
    const std::vector<QWidget*> Order = {VideoFileEdit,
                                         Button1,
                                         AVIAudioRadioButton,
                                         MP3AudioRadioButton,
                                         AudioFileEdit,
                                         Button2,
                                         NoAudioRadioButton,
                                         LosslessRadioButton,
                                         BitrateCompressionRadioButton,
                                         BitRateEdit,
                                         QualityCompressionRadioButton,
                                         RToleranceEdit,
                                         GToleranceEdit,
                                         BToleranceEdit,
                                         BlockToleranceEdit,
                                         ComboBox1,
                                         KeyFrameCheckBox,
                                         KeyFrameIntervalEdit,
                                         FrameRateLimitCheckBox,
                                         FrameRateLimitEdit,
                                         BlockWidthComboBox,
                                         BlockHeightComboBox,
                                         MetadataCheckBox,
                                         ColorReductionCheckBox,
                                         ColorLimitComboBox,
                                         RangeStartEdit,
                                         RangeEndEdit,
                                         CropCheckBox,
                                         CropWidthEdit,
                                         CropHeightEdit,
                                         CropLeftEdit,
                                         CropTopEdit,
                                         SizeCheckBox,
                                         SizeWidthEdit,
                                         SizeHeightEdit,
                                         StartButton,
                                         StopButton,
                                         PreviewCheckBox,
                                         PreviewStyleComboBox};
    for (size_t I = 1; I < Order.size(); ++I) {
        setTabOrder(Order[I - 1], Order[I]);
    }
}

// What screen readers say of each control, the labels that name an edit or
// list (Alt with the underlined letter goes there), and each number's
// range, checked as it is typed.
void TForm1::DescribeControls() {
    const std::pair<QWidget*, const char*> Names[] = {
        {VideoFileEdit, "Video file"},
        {Button1, "Choose the video file"},
        {AVIAudioRadioButton, "Use included audio"},
        {MP3AudioRadioButton, "Use an external audio file"},
        {AudioFileEdit, "External audio file"},
        {Button2, "Choose the external audio file"},
        {NoAudioRadioButton, "No audio"},
        {LosslessRadioButton, "Lossless compression"},
        {BitrateCompressionRadioButton, "Bitrate based lossy compression"},
        {QualityCompressionRadioButton, "Quality based lossy compression"},
        {ComboBox1, "AVI audio recompression"},
        {KeyFrameCheckBox, "Insert keyframe"},
        {FrameRateLimitCheckBox, "Limit frame rate"},
        {MetadataCheckBox, "Add a seek index"},
        {ColorReductionCheckBox, "Limit the number of colors"},
        {RangeStartEdit, "Starting at"},
        {RangeEndEdit, "Ending at"},
        {CropCheckBox, "Crop the picture"},
        {SizeCheckBox, "Resize the picture"},
        {StartButton, "Start"},
        {StopButton, "Stop"},
        {PreviewCheckBox, "Preview input image"},
        {ProgressBar, "Conversion progress"},
        {PreviewImage, "Preview of the frame being converted"},
    };
    for (const auto& [Control, Name] : Names) {
        Control->setAccessibleName(Name);
    }
    NameList(BlockWidthComboBox, "Block width");
    NameList(BlockHeightComboBox, "Block height");
    NameList(ColorLimitComboBox, "Number of colors");
    NameList(PreviewStyleComboBox, "Preview size");
    Label3->setBuddy(VideoFileEdit);
    Label8->setBuddy(ComboBox1);
    Label5->setBuddy(BitRateEdit);
    Label1->setBuddy(RToleranceEdit);
    Label2->setBuddy(BlockToleranceEdit);
    Label4->setBuddy(KeyFrameIntervalEdit);
    Label9->setBuddy(FrameRateLimitEdit);
    Label10->setBuddy(RangeStartEdit);
    Label11->setBuddy(RangeEndEdit);
    const QString Time = TimeFieldText.left(1).toUpper() + TimeFieldText.mid(1);
    for (QLineEdit* Edit : {RangeStartEdit, RangeEndEdit}) {
        Edit->setAccessibleDescription(Time);
        Edit->setToolTip(Time);
    }
    for (const TNumberField& Field : NumberFields()) {
        const QString Range = QString("A whole number from %1 to %2 %3")
                                  .arg(Field.Minimum)
                                  .arg(Field.Maximum)
                                  .arg(Field.Unit);
        Field.Edit->setAccessibleName(Field.Name);
        Field.Edit->setAccessibleDescription(Range);
        Field.Edit->setToolTip(Range);
        Field.Edit->setValidator(new TNumberValidator(Field.Minimum, Field.Maximum, Field.Edit));
    }
}

// Said beside the edit, as the desktop's own number fields do.
void TForm1::ShowRefusal(QLineEdit* Edit) {
    QApplication::beep();
    QToolTip::showText(Edit->mapToGlobal(QPoint(Edit->width() + 2, 0)), Edit->toolTip(), Edit);
}

// The controls carry their names, for accessibility and for finding them.
void TForm1::NameControls() {
#define QUORVANE_NAMES(...)                                                     \
    {                                                                           \
        QObject* Controls[] = {__VA_ARGS__};                                    \
        const QStringList Names = QString(#__VA_ARGS__).remove(' ').split(','); \
        for (int I = 0; I < Names.size(); ++I) {                                \
            Controls[I]->setObjectName(Names[I]);                               \
        }                                                                       \
    }
    QUORVANE_NAMES(
        StartButton, StopButton, RToleranceEdit, BToleranceEdit, GToleranceEdit, Label1, GroupBox2,
        BlockToleranceEdit, Label2, Label4, KeyFrameIntervalEdit, LosslessRadioButton,
        BitrateCompressionRadioButton, QualityCompressionRadioButton, Label5, BitRateEdit,
        ColorReductionCheckBox, ColorLimitComboBox, Label6, BlockWidthComboBox, BlockHeightComboBox,
        PreviewImage, GroupBox3, ComboBox1, ProgressBar, PreviewStyleComboBox, PreviewCheckBox,
        PageControl1, TabSheet1, TabSheet2, TabSheet3, StepLabel, StatusLabel, GroupBox4, Label3,
        VideoFileEdit, Button1, VideoDetailsLabel, AVIAudioRadioButton, MP3AudioRadioButton,
        AudioFileEdit, Button2, AudioDetailsLabel, NoAudioRadioButton, GroupBox1, GroupBox5, Label7,
        Label8, KeyFrameCheckBox, FrameRateLimitCheckBox, Label9, FrameRateLimitEdit,
        MetadataCheckBox, MetadataLabel, TabSheet4, GroupBox6, Label10, RangeStartEdit, Label11,
        RangeEndEdit, RangeLabel, PictureGroupBox, CropCheckBox, CropLabel, CropWidthEdit,
        CropHeightEdit, CropLeftEdit, CropTopEdit, SizeCheckBox, SizeLabel, SizeWidthEdit,
        SizeHeightEdit, PictureNoteLabel, PictureSizeLabel)
#undef QUORVANE_NAMES
}

void TForm1::BindHandlers() {
    connect(Button1, &QPushButton::clicked, this, Guarded([this] { OpenInputFile(); }));
    connect(Button2, &QPushButton::clicked, this, Guarded([this] { OpenAudioFile(); }));
    connect(StartButton, &QPushButton::clicked, this, Guarded([this] { StartButtonClick(); }));
    connect(StopButton, &QPushButton::clicked, this, Guarded([this] { StopButtonClick(); }));
    for (QRadioButton* Button : {AVIAudioRadioButton, MP3AudioRadioButton, NoAudioRadioButton}) {
        connect(Button, &QRadioButton::toggled, this, Guarded([this] { AudioRadioButtonClick(); }));
        // A click (or a key) is the user's own choice; the program's checking is not.
        connect(Button, &QRadioButton::clicked, this,
                [this, Button] { AudioChosenByUser = Button; });
    }
    for (QRadioButton* Button :
         {LosslessRadioButton, BitrateCompressionRadioButton, QualityCompressionRadioButton}) {
        connect(Button, &QRadioButton::toggled, this,
                Guarded([this] { CompressionRadioButtonClick(); }));
    }
    for (QCheckBox* Box : {KeyFrameCheckBox, FrameRateLimitCheckBox, ColorReductionCheckBox,
                           CropCheckBox, SizeCheckBox}) {
        connect(Box, &QCheckBox::toggled, this, Guarded([this] { SettingsCheckBoxClick(); }));
    }
    for (QCheckBox* Box : {CropCheckBox, SizeCheckBox}) {
        connect(Box, &QCheckBox::toggled, this, Guarded([this] { PictureSettingsChange(); }));
    }
    for (QLineEdit* Edit : {CropWidthEdit, CropHeightEdit, CropLeftEdit, CropTopEdit, SizeWidthEdit,
                            SizeHeightEdit}) {
        connect(Edit, &QLineEdit::textChanged, this, Guarded([this] { PictureSettingsChange(); }));
    }
    // A start is decoded once typing rests, or the edit is left: each
    // keystroke on the way (1, 12, 12:) would decode a picture of its own.
    RangeStartTimer = new QTimer(this);
    RangeStartTimer->setSingleShot(true);
    RangeStartTimer->setInterval(RangeStartRest);
    connect(RangeStartTimer, &QTimer::timeout, this, Guarded([this] { RangeStartChange(); }));
    connect(RangeStartEdit, &QLineEdit::textChanged, RangeStartTimer, qOverload<>(&QTimer::start));
    connect(RangeStartEdit, &QLineEdit::editingFinished, this,
            Guarded([this] { RangeStartChange(); }));
    connect(PreviewCheckBox, &QCheckBox::toggled, this,
            Guarded([this] { PreviewCheckBoxClick(); }));
    connect(PreviewStyleComboBox, &QComboBox::currentIndexChanged, this,
            Guarded([this] { FormResize(); }));
    PageControl1->OnChanging = [this](bool& AllowChange) { PageControl1Changing(AllowChange); };
}

// Ctrl+O as the video file's "..." (which a run keeps out of reach), and
// Ctrl+Q closes the window, as the desktop's programs do.
void TForm1::BindShortcuts() {
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this, Guarded([this] {
                if (!JobRunning()) {
                    OpenInputFile();
                }
            }));
    // Not QKeySequence::Quit: desktops whose key scheme has none would lose it.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
            &QWidget::close);
}

QString TForm1::ApplicationTitle() const {
    return Title;
}

void TForm1::SetApplicationTitle(const QString& NewTitle) {
    Title = NewTitle;
    setWindowIconText(Title);
}

}  // namespace quorvane
