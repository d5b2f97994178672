// The settings: creation, enabling rules, key filters, the page lock, and
// what the job reads from the controls.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QValidator>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "job/ScreenVideoEncoderThread.h"
#include "job/TimeTexts.h"
#include "ui/GapLabel.h"
#include "ui/Image32.h"
#include "ui/PageControl.h"
#include "ui/Unit1.h"

namespace quorvane {

namespace {

// A character as the list's key filter sees it: one beyond the 8-bit set
// counts as '?'.
char As8Bit(QChar Character) {
    const char16_t Code = Character.unicode();
    return Code <= 0xFF ? static_cast<char>(Code) : '?';
}

// The character a key press types, as the list's key filter sees it: Ctrl
// with a letter types its control character (Ctrl+V is 22). Keys that type
// nothing (arrows, Delete) are no characters, nor are the keys that move the
// focus or pick an item of an open list (Tab, Return, Escape).
std::optional<char> TypedCharacter(const QKeyEvent& Event) {
    const int Key = Event.key();
    if (Key == Qt::Key_Tab || Key == Qt::Key_Backtab || Key == Qt::Key_Delete ||
        Key == Qt::Key_Return || Key == Qt::Key_Enter || Key == Qt::Key_Escape) {
        return std::nullopt;
    }
    if ((Event.modifiers() & Qt::ControlModifier) && Key >= Qt::Key_A && Key <= Qt::Key_Z) {
        return static_cast<char>(Key - Qt::Key_A + 1);
    }
    if (Key == Qt::Key_Backspace) {
        return '\b';
    }
    if (Event.text().isEmpty()) {
        return std::nullopt;
    }
    return As8Bit(Event.text().at(0));
}

// The wait cursor while it lasts.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// A number or time edit holds nothing the job can take; the message names it.
class EFieldRefused : public std::runtime_error {
public:
    EFieldRefused(const std::string& Message, QWidget* Field)
        : std::runtime_error(Message), Field(Field) {}
    QWidget* Field;
};

bool IsTimeCharacter(QChar Character) {
    return Character == ':' || Character == '.';
}

// The block-size lists hold 16, 32, ... 256.
uint32_t BlockSizeFromItem(int ItemIndex) {
    return static_cast<uint32_t>(ItemIndex + 1) * 16;
}

}  // namespace

void TForm1::FormCreate() {
    PageControl1->setCurrentIndex(0);
    const QStringList BlockSizes = [] {
        QStringList Items;
        for (int N = 1; N <= 16; ++N) {
            Items << QString::number(N * 16);
        }
        return Items;
    }();
    for (QComboBox* List : {BlockWidthComboBox, BlockHeightComboBox}) {
        List->clear();
        List->addItems(BlockSizes);
    }
    BlockWidthComboBox->setCurrentIndex(3);
    BlockHeightComboBox->setCurrentIndex(1);
    PreviewLayer = &PreviewImage->AddBitmapLayer();
    PreviewImage->installEventFilter(this);
    EnumerateMP3Formats();
}

// With no MP3 encoder the list stays empty and says so; the video file's
// own audio is then not offered.
void TForm1::EnumerateMP3Formats() {
    MP3FormatList = OfferMP3Formats();
    for (const TMp3Format& Offered : MP3FormatList) {
        ComboBox1->addItem(QString::fromStdString(Offered.Caption));
    }
    ComboBox1->setPlaceholderText("No MP3 encoder available");
    ComboBox1->setCurrentIndex(MP3FormatList.empty() ? -1 : 0);
}

void TForm1::PageControl1Changing(bool& AllowChange) {
    AllowChange = !JobRunning();
}

void TForm1::CompressionRadioButtonClick() {
    const bool Bitrate = BitrateCompressionRadioButton->isChecked();
    const bool Quality = QualityCompressionRadioButton->isChecked();
    SetEnabled({Label5, BitRateEdit}, Bitrate);
    SetEnabled({Label1, Label2, RToleranceEdit, GToleranceEdit, BToleranceEdit, BlockToleranceEdit},
               Quality);
}

void TForm1::SettingsCheckBoxClick() {
    SetEnabled({Label4, KeyFrameIntervalEdit}, KeyFrameCheckBox->isChecked());
    SetEnabled({Label9, FrameRateLimitEdit}, FrameRateLimitCheckBox->isChecked());
    ColorLimitComboBox->setEnabled(ColorReductionCheckBox->isChecked());
    SetEnabled({CropLabel, CropWidthEdit, CropHeightEdit, CropLeftEdit, CropTopEdit},
               CropCheckBox->isChecked());
    SetEnabled({SizeLabel, SizeWidthEdit, SizeHeightEdit}, SizeCheckBox->isChecked());
}

void TForm1::AudioRadioButtonClick() {
    SetEnabled({AudioFileEdit, Button2}, MP3AudioRadioButton->isChecked());
}

// A running job reads the switch from its own thread: it gets a copy.
void TForm1::PreviewCheckBoxClick() {
    PreviewStyleComboBox->setEnabled(PreviewCheckBox->isChecked());
    if (Job) {
        Job->SetPreviewWanted(PreviewCheckBox->isChecked());
    }
}

// The range of each number: what the encoder can make sense of. A colour
// tolerance of 100 % ignores that channel; a block tolerance of 100 % would
// never send a block again, nor would a bit rate of 0.
std::vector<TForm1::TNumberField> TForm1::NumberFields() const {
    return {{BitRateEdit, "Maximum bitrate", 1, 100000, "KBps"},
            {RToleranceEdit, "Red tolerance", 0, 100, "%"},
            {GToleranceEdit, "Green tolerance", 0, 100, "%"},
            {BToleranceEdit, "Blue tolerance", 0, 100, "%"},
            {BlockToleranceEdit, "Block pixels change tolerance", 0, 99, "%"},
            {KeyFrameIntervalEdit, "Keyframe interval", 1, 3600000, "milliseconds"},
            {FrameRateLimitEdit, "Frame rate limit", 1, 255, "fps"},
            // A crop of a larger picture than the FLV's, when a size follows.
            {CropWidthEdit, "Crop width", 1, LargestDecodedSide, "pixels"},
            {CropHeightEdit, "Crop height", 1, LargestDecodedSide, "pixels"},
            {CropLeftEdit, "Crop left", 0, LargestDecodedSide - 1, "pixels"},
            {CropTopEdit, "Crop top", 0, LargestDecodedSide - 1, "pixels"},
            {SizeWidthEdit, "Resized width", 1, 4095, "pixels"},
            {SizeHeightEdit, "Resized height", 1, 4095, "pixels"}};
}

int32_t TForm1::NumberOf(const QLineEdit& Edit) const {
    for (const TNumberField& Field : NumberFields()) {
        if (Field.Edit != &Edit) {
            continue;
        }
        // Text put in by the program (or kept from before) has not passed
        // the edit's validator yet.
        QString Text = Edit.text();
        int Position = 0;
        if (Edit.validator()->validate(Text, Position) != QValidator::Acceptable) {
            throw EFieldRefused(QString("%1 takes a whole number from %2 to %3 %4, not '%5'.")
                                    .arg(Field.Name)
                                    .arg(Field.Minimum)
                                    .arg(Field.Maximum)
                                    .arg(Field.Unit, Text)
                                    .toStdString(),
                                Field.Edit);
        }
        return Text.toInt();
    }
    throw std::logic_error("not a number edit");
}

// Text put in by the program (or kept from before) has not passed the
// edit's validator yet.
std::optional<int32_t> TForm1::TimeOf(const QLineEdit& Edit) const {
    QString Text = Edit.text();
    int Position = 0;
    if (Edit.validator()->validate(Text, Position) != QValidator::Acceptable) {
        throw EFieldRefused(QString("%1 takes %2, not '%3'.")
                                .arg(Edit.accessibleName(), TimeFieldText, Text)
                                .toStdString(),
                            const_cast<QLineEdit*>(&Edit));
    }
    if (Text.isEmpty()) {
        return std::nullopt;
    }
    return TimeFromText(Text.toStdString());
}

// An empty start is the video's beginning, an empty end its end.
TRangeSettings TForm1::ReadRange() const {
    TRangeSettings Range;
    Range.Start = TimeOf(*RangeStartEdit).value_or(0);
    Range.End = TimeOf(*RangeEndEdit);
    if (Range.End && *Range.End <= Range.Start) {
        throw EFieldRefused(RangeOrderText(Range.Start, *Range.End), RangeEndEdit);
    }
    return Range;
}

// A side of the size left empty keeps the aspect; not both.
platform::TPictureGeometry TForm1::ReadPictureGeometry() const {
    platform::TPictureGeometry Geometry;
    if (CropCheckBox->isChecked()) {
        Geometry.Crop = platform::TPictureRect{NumberOf(*CropWidthEdit), NumberOf(*CropHeightEdit),
                                               NumberOf(*CropLeftEdit), NumberOf(*CropTopEdit)};
    }
    if (SizeCheckBox->isChecked()) {
        const auto Side = [this](const QLineEdit& Edit) {
            return Edit.text().isEmpty() ? 0 : NumberOf(Edit);
        };
        Geometry.Width = Side(*SizeWidthEdit);
        Geometry.Height = Side(*SizeHeightEdit);
        if (Geometry.Width == 0 && Geometry.Height == 0) {
            throw EFieldRefused(
                "Resized width and Resized height are both empty: give at least "
                "one of them; the other then keeps the aspect.",
                SizeWidthEdit);
        }
    }
    return Geometry;
}

// Before the save dialog: a number or time that can't be used is named, on
// its page, with its edit ready for another one; so is a start the video
// does not reach, and a crop or size its picture can't take.
bool TForm1::SettingsUsable() {
    try {
        const TJobSettings Settings = ReadSettings();
        if (const std::string Problem = Job->RangeProblem(Settings.Range); !Problem.empty()) {
            throw EFieldRefused(Problem, RangeStartEdit);
        }
        const platform::TPictureGeometry& Picture = Settings.Picture;
        // With any size the crop's own reach is all that can fail.
        if (const std::string Problem = Job->PictureProblem({Picture.Crop, 1, 1});
            !Problem.empty()) {
            throw EFieldRefused(Problem, CropWidthEdit);
        }
        // A picture too large without a size points to the size's box.
        if (const std::string Problem = Job->PictureProblem(Picture); !Problem.empty()) {
            throw EFieldRefused(Problem, SizeCheckBox->isChecked()
                                             ? static_cast<QWidget*>(SizeWidthEdit)
                                             : SizeCheckBox);
        }
        return true;
    } catch (const EFieldRefused& Refused) {
        ShowMessageBox("Error", QString::fromStdString(Refused.what()), QMessageBox::Warning,
                       QMessageBox::Ok);
        FocusField(Refused.Field);
        return false;
    }
}

void TForm1::FocusField(QWidget* Field) {
    for (int Page = 0; Page < PageControl1->count(); ++Page) {
        if (PageControl1->widget(Page)->isAncestorOf(Field)) {
            PageControl1->setCurrentIndex(Page);
        }
    }
    Field->setFocus();
    if (auto* Edit = qobject_cast<QLineEdit*>(Field)) {
        Edit->selectAll();
    }
}

// Each change is tried on the open file at once, on the picture at the
// range's start; a run holds its own settings, and a field on the way to a
// number says so.
void TForm1::PictureSettingsChange() {
    if (!Job || JobRunning()) {
        PictureSizeLabel->clear();
        return;
    }
    try {
        const platform::TPictureGeometry Geometry = ReadPictureGeometry();
        std::string Problem;
        {
            // Another picture than the one shown is decoded: it may take a while.
            const TWaitCursor Waiting;
            Problem = Job->UsePictureGeometry(Geometry, PreviewStart);
        }
        if (!Problem.empty()) {
            PictureSizeLabel->setText(QString::fromStdString(Problem));
            return;
        }
    } catch (const EFieldRefused& Refused) {
        PictureSizeLabel->setText(QString::fromStdString(Refused.what()));
        return;
    }
    const FrameFormat& Format = Job->GetFrameFormat();
    PictureSizeLabel->setText(
        QString("The FLV file will be %1x%2 pixels.").arg(Format.Width).arg(Format.Height));
    PreparePreview(Format.Width, Format.Height);
    ShowPreview(Job->CurrentFrame());
}

// The start typed when the video reaches it, else its beginning; none
// while the edit is on the way to a time.
std::optional<int32_t> TForm1::PreviewableStart() const {
    try {
        const int32_t Start = TimeOf(*RangeStartEdit).value_or(0);
        return Job && Job->RangeProblem({Start, std::nullopt}).empty() ? Start : 0;
    } catch (const EFieldRefused&) {
        return std::nullopt;
    }
}

// Typing rests, or the edit was left: a start the preview does not show
// yet is decoded, which for a late one may take a while.
void TForm1::RangeStartChange() {
    RangeStartTimer->stop();
    if (JobRunning()) {
        return;  // the run holds its own start
    }
    const std::optional<int32_t> Start = PreviewableStart();
    if (!Start || *Start == PreviewStart) {
        return;
    }
    PreviewStart = *Start;
    PictureSettingsChange();
}

void TForm1::ComboBoxKeyPress(QObject*, char& Key) {
    Key = 0;
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == PreviewImage) {
        // The page control sizes a page only when it is shown: the preview
        // follows the view's own size too, not only the window's.
        if (Event->type() == QEvent::Resize) {
            FormResize();
        }
        return false;
    }
    // The number edits check what they are given themselves (a validator).
    if (auto* Edit = qobject_cast<QLineEdit*>(Watched)) {
        if (Event->type() == QEvent::InputMethod) {
            FilterCommittedText(Edit, static_cast<QInputMethodEvent&>(*Event));
        }
        return false;
    }
    if (Event->type() != QEvent::KeyPress) {
        return false;
    }
    const std::optional<char> Typed = TypedCharacter(static_cast<const QKeyEvent&>(*Event));
    if (!Typed) {
        return false;
    }
    char Key = *Typed;
    ComboBoxKeyPress(Watched, Key);
    return Key == 0;
}

// An input method hands over what was typed as one text: its digits (and
// a time's colons and points) are kept, as if each character had been
// typed alone, and the rest is refused.
void TForm1::FilterCommittedText(QLineEdit* Edit, QInputMethodEvent& Event) {
    const bool Time = Edit == RangeStartEdit || Edit == RangeEndEdit;
    QString Kept;
    for (const QChar Character : Event.commitString()) {
        if ((Character >= '0' && Character <= '9') || (Time && IsTimeCharacter(Character))) {
            Kept += Character;
        }
    }
    if (Kept.size() != Event.commitString().size()) {
        ShowRefusal(Edit);
    }
    Event.setCommitString(Kept, Event.replacementStart(), Event.replacementLength());
}

void TForm1::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    FormResize();
}

// Only the edits that the chosen settings use are read, in this order: an
// empty edit of a setting that is off is no error.
// The MP3 format is the one chosen now: a choice made after the file was
// opened counts.
TJobSettings TForm1::ReadSettings() {
    TakeMP3FormatChoice();
    TJobSettings Settings;
    Settings.Audio = ReadAudioSettings();
    Settings.Range = ReadRange();
    Settings.KeyFrameInterval = KeyFrameCheckBox->isChecked() ? NumberOf(*KeyFrameIntervalEdit) : 0;
    Settings.FrameRateLimit =
        FrameRateLimitCheckBox->isChecked() ? ClampTo8Bits(NumberOf(*FrameRateLimitEdit)) : 0;

    EncoderParameters& Encoder = Settings.Encoder;
    if (BitrateCompressionRadioButton->isChecked()) {
        Encoder.CompressionMode = BitrateMode;
        Encoder.BitRate = NumberOf(*BitRateEdit);
    } else if (QualityCompressionRadioButton->isChecked()) {
        Encoder.CompressionMode = QualityMode;
        Encoder.RedTolerance = ToleranceFromPercent(NumberOf(*RToleranceEdit));
        Encoder.GreenTolerance = ToleranceFromPercent(NumberOf(*GToleranceEdit));
        Encoder.BlueTolerance = ToleranceFromPercent(NumberOf(*BToleranceEdit));
        Encoder.BlockTolerance = ClampTo8Bits(NumberOf(*BlockToleranceEdit));
    }
    const int ColorItem = ColorLimitComboBox->currentIndex();
    if (ColorReductionCheckBox->isChecked() && ColorItem >= 0 &&
        ColorItem < static_cast<int>(std::size(ColorShifts))) {
        Encoder.ColorShift = ColorShifts[ColorItem];
    }
    Encoder.BlockWidth = BlockSizeFromItem(BlockWidthComboBox->currentIndex());
    Encoder.BlockHeight = BlockSizeFromItem(BlockHeightComboBox->currentIndex());
    Settings.Picture = ReadPictureGeometry();
    Settings.AddMetadata = MetadataCheckBox->isChecked();
    Settings.Preview = PreviewCheckBox->isChecked();
    return Settings;
}

TAudioSettings TForm1::ReadAudioSettings() const {
    TAudioSettings Audio;
    Audio.Source = AVIAudioRadioButton->isChecked()   ? TAudioSource::AviAudio
                   : MP3AudioRadioButton->isChecked() ? TAudioSource::Mp3File
                                                      : TAudioSource::None;
    Audio.Mp3FileName = FileNameBytes(AudioFileEdit->text());
    if (MP3Format && MP3InputFormat) {
        Audio.MP3Format = *MP3Format;
        Audio.MP3InputFormat = *MP3InputFormat;
    }
    return Audio;
}

}  // namespace quorvane
