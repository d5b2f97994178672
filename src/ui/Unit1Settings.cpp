// The settings: creation, enabling rules, key filters, the page lock, and
// what the job reads from the controls.
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <charconv>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "job/ScreenVideoEncoderThread.h"
#include "ui/GapLabel.h"
#include "ui/Image32.h"
#include "ui/PageControl.h"
#include "ui/Unit1.h"

namespace quorvane {

namespace {

// A character as the key filters see it: one beyond the 8-bit set counts
// as '?'.
char As8Bit(QChar Character) {
    const char16_t Code = Character.unicode();
    return Code <= 0xFF ? static_cast<char>(Code) : '?';
}

// The character a key press types, as the key filters see it: Ctrl with a
// letter types its control character (Ctrl+V is 22). Keys that type nothing
// (arrows, Delete) are no characters, nor are the keys that move the focus
// or pick an item of an open list (Tab, Return, Escape).
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

// An edit's text is not a whole number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The toolkit's conversion of an edit's text: a whole number in signed 32
// bits, with an optional sign; anything else throws EConvertError.
int32_t StrToInt(const QLineEdit& Edit) {
    const std::string Text = Edit.text().toStdString();
    const char* First = Text.data();
    const char* Last = First + Text.size();
    if (First != Last && *First == '+') {
        ++First;
    }
    int32_t Value = 0;
    const auto [End, Error] = std::from_chars(First, Last, Value);
    if (Text.empty() || Error != std::errc() || End != Last) {
        throw EConvertError("'" + Text + "' is not a valid integer value");
    }
    return Value;
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

// With no MP3 encoder the list stays empty and says so; the AVI file's
// own audio is then not offered.
void TForm1::EnumerateMP3Formats() {
    TMp3FormatOffer Offer = OfferMP3Formats();
    MP3FormatList = std::move(Offer.MP3FormatList);
    MP3InputFormatList = std::move(Offer.MP3InputFormatList);
    for (const std::string& Item : Offer.Items) {
        ComboBox1->addItem(QString::fromStdString(Item));
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

void TForm1::OnlyNumderEditKeyPress(QObject*, char& Key) {
    if (Key != '\b' && (Key < '0' || Key > '9')) {
        Key = 0;
    }
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
    if (Event->type() == QEvent::InputMethod && qobject_cast<QLineEdit*>(Watched)) {
        FilterCommittedText(Watched, static_cast<QInputMethodEvent&>(*Event));
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
    if (qobject_cast<QLineEdit*>(Watched)) {
        OnlyNumderEditKeyPress(Watched, Key);
    } else {
        ComboBoxKeyPress(Watched, Key);
    }
    return Key == 0;
}

// An input method hands over what was typed as one text: each character
// passes the number filter as if it had been typed alone.
void TForm1::FilterCommittedText(QObject* Edit, QInputMethodEvent& Event) {
    QString Kept;
    for (const QChar Character : Event.commitString()) {
        char Key = As8Bit(Character);
        OnlyNumderEditKeyPress(Edit, Key);
        if (Key != 0) {
            Kept += Character;
        }
    }
    Event.setCommitString(Kept, Event.replacementStart(), Event.replacementLength());
}

void TForm1::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    FormResize();
}

// Only the edits that the chosen settings use are read, in this order: an
// empty edit of a setting that is off is no error.
TJobSettings TForm1::ReadSettings() {
    TJobSettings Settings;
    Settings.Audio = ReadAudioSettings();
    Settings.KeyFrameInterval = KeyFrameCheckBox->isChecked() ? StrToInt(*KeyFrameIntervalEdit) : 0;
    Settings.FrameRateLimit =
        FrameRateLimitCheckBox->isChecked() ? ClampTo8Bits(StrToInt(*FrameRateLimitEdit)) : 0;

    EncoderParameters& Encoder = Settings.Encoder;
    if (BitrateCompressionRadioButton->isChecked()) {
        Encoder.CompressionMode = BitrateMode;
        Encoder.BitRate = StrToInt(*BitRateEdit);
    } else if (QualityCompressionRadioButton->isChecked()) {
        Encoder.CompressionMode = QualityMode;
        Encoder.RedTolerance = ToleranceFromPercent(StrToInt(*RToleranceEdit));
        Encoder.GreenTolerance = ToleranceFromPercent(StrToInt(*GToleranceEdit));
        Encoder.BlueTolerance = ToleranceFromPercent(StrToInt(*BToleranceEdit));
        Encoder.BlockTolerance = ClampTo8Bits(StrToInt(*BlockToleranceEdit));
    }
    const int ColorItem = ColorLimitComboBox->currentIndex();
    if (ColorReductionCheckBox->isChecked() && ColorItem >= 0 &&
        ColorItem < static_cast<int>(std::size(ColorShifts))) {
        Encoder.ColorShift = ColorShifts[ColorItem];
    }
    Encoder.BlockWidth = BlockSizeFromItem(BlockWidthComboBox->currentIndex());
    Encoder.BlockHeight = BlockSizeFromItem(BlockHeightComboBox->currentIndex());
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
    if (MP3Format) {
        Audio.MP3Format = *MP3Format;
        Audio.MP3InputFormat = *MP3InputFormat;
    }
    return Audio;
}

}  // namespace quorvane
