// The window's settings, driven on the real window: defaults, key filters,
// enabling rules, sizes, the preview's placement, and what reaches the job.
#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QToolTip>

#include "WindowTestKit.h"
#include "job/JobSettings.h"
#include "ui/BitmapLayer.h"
#include "ui/GapLabel.h"
#include "ui/Image32.h"
#include "ui/PageControl.h"

using namespace quorvane;

namespace {

QWidget* Control(TForm1& Window, const char* Name) {
    auto* Found = Window.findChild<QWidget*>(Name);
    if (!Found) {
        qFatal("no control %s", Name);
    }
    return Found;
}

QStringList EnabledOf(TForm1& Window, const QStringList& Names) {
    QStringList Enabled;
    for (const QString& Name : Names) {
        if (Control(Window, qPrintable(Name))->isEnabled()) {
            Enabled << Name;
        }
    }
    return Enabled;
}

// Where a control draws: a label that holds a text only where the text is;
// an empty one keeps its whole room for the texts it will show.
std::vector<QRect> InkOf(const QWidget& Control) {
    if (const auto* Label = dynamic_cast<const TGapLabel*>(&Control)) {
        std::vector<QRect> Pieces = Label->PieceRects();
        for (QRect& Piece : Pieces) {
            Piece.translate(Label->pos());
        }
        return Pieces;
    }
    const auto* Label = qobject_cast<const QLabel*>(&Control);
    if (Label && !Label->text().isEmpty()) {
        const int TextWidth = std::min(Label->sizeHint().width(), Label->width());
        return {QRect(Label->pos(), QSize(TextWidth, Label->height()))};
    }
    return {Control.geometry()};
}

bool Overlaps(const QRect& Area, const std::vector<QRect>& Others) {
    return std::any_of(Others.begin(), Others.end(),
                       [&](const QRect& Other) { return Area.intersects(Other); });
}

int WidestItem(const QComboBox& List) {
    int Widest = 0;
    for (int I = 0; I < List.count(); ++I) {
        Widest = std::max(Widest, List.fontMetrics().horizontalAdvance(List.itemText(I)));
    }
    return Widest;
}

int TextRoom(const QAbstractButton& Button) {
    QStyleOptionButton Option;
    Option.initFrom(&Button);
    Option.text = Button.text();
    const QStyle::SubElement Contents =
        qobject_cast<const QRadioButton*>(&Button) ? QStyle::SE_RadioButtonContents
        : qobject_cast<const QCheckBox*>(&Button)  ? QStyle::SE_CheckBoxContents
                                                   : QStyle::SE_PushButtonContents;
    return Button.style()->subElementRect(Contents, &Option, &Button).width();
}

int TextRoom(const QComboBox& List) {
    QStyleOptionComboBox Option;
    Option.initFrom(&List);
    return List.style()
        ->subControlRect(QStyle::CC_ComboBox, &Option, QStyle::SC_ComboBoxEditField, &List)
        .width();
}

// What a screen reader says a control is: its accessible name; for a list,
// whose name on Linux is the item it shows, the label it is labelled by.
QString SpokenName(QWidget& Control) {
    QAccessibleInterface* Face = QAccessible::queryAccessibleInterface(&Control);
    if (Face->role() != QAccessible::ComboBox) {
        return Face->text(QAccessible::Name);
    }
    for (const auto& [Label, Relation] : Face->relations(QAccessible::Label)) {
        if (Label->role() == QAccessible::StaticText) {
            return Label->text(QAccessible::Name);
        }
    }
    return {};
}

// Reading order on a page: rows from the top, each from the left.
bool ReadsBefore(QWidget* Page, QWidget* A, QWidget* B) {
    const QPoint At = A->mapTo(Page, A->rect().center());
    const QPoint Bt = B->mapTo(Page, B->rect().center());
    return std::abs(At.y() - Bt.y()) <= 6 ? At.x() < Bt.x() : At.y() < Bt.y();
}

}  // namespace

class WindowSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> Window;

private slots:
    void init() { Window = test::ShowMainWindow(); }
    void cleanup() { Window.reset(); }

    void aFreshWindowShowsTheDefaults() {
        QCOMPARE(Window->windowTitle(), QString("Quorvane Version 1.0 build 21"));
        QCOMPARE(Window->ApplicationTitle(), QString("Quorvane"));
        QCOMPARE(Window->windowIconText(), QString("Quorvane"));
        QCOMPARE(Window->size(), QSize(607, 499));
        QCOMPARE(Window->PageControl1->currentIndex(), 0);
        QCOMPARE(Window->PageControl1->tabText(2), QString("Range and picture"));
        QCOMPARE(Window->PageControl1->tabText(3), QString("Encoding process"));
        QCOMPARE(Window->BlockWidthComboBox->count(), 16);
        QCOMPARE(Window->BlockHeightComboBox->itemText(15), QString("256"));
        QCOMPARE(Window->BlockWidthComboBox->currentText(), QString("64"));
        QCOMPARE(Window->BlockHeightComboBox->currentText(), QString("32"));
        QVERIFY(Window->LosslessRadioButton->isChecked());
        QVERIFY(Window->NoAudioRadioButton->isChecked());
        QVERIFY(Window->PreviewCheckBox->isChecked());
        QCOMPARE(Window->PreviewStyleComboBox->currentText(), QString("Auto"));
        QCOMPARE(Window->ColorLimitComboBox->currentText(), QString("19k colors"));
        QVERIFY(Window->ProgressBar->isHidden());
        QVERIFY(!Window->MetadataCheckBox->isChecked());
        // The path boxes are read-only, and look it.
        for (const QLineEdit* Path : {Window->VideoFileEdit, Window->AudioFileEdit}) {
            QVERIFY(Path->isReadOnly());
            QCOMPARE(Path->palette().color(QPalette::Active, QPalette::Base),
                     Window->palette().color(QPalette::Active, QPalette::Window));
        }
        // The installed codecs' offer, its first item chosen.
        QCOMPARE(size_t(Window->ComboBox1->count()), Window->MP3FormatList.size());
        QCOMPARE(Window->ComboBox1->currentIndex(), Window->ComboBox1->count() > 0 ? 0 : -1);
        const QStringList Texts = {
            Window->BitRateEdit->text(),        Window->RToleranceEdit->text(),
            Window->GToleranceEdit->text(),     Window->BToleranceEdit->text(),
            Window->BlockToleranceEdit->text(), Window->KeyFrameIntervalEdit->text(),
            Window->FrameRateLimitEdit->text()};
        QCOMPARE(Texts, QStringList({"250", "30", "15", "30", "3", "10000", "10"}));
        const QStringList Watched = {"StartButton",
                                     "StopButton",
                                     "Button1",
                                     "Button2",
                                     "AudioFileEdit",
                                     "AVIAudioRadioButton",
                                     "MP3AudioRadioButton",
                                     "NoAudioRadioButton",
                                     "Label5",
                                     "BitRateEdit",
                                     "Label1",
                                     "Label4",
                                     "FrameRateLimitEdit",
                                     "ColorLimitComboBox",
                                     "PreviewStyleComboBox"};
        QCOMPARE(EnabledOf(*Window, Watched),
                 QStringList({"Button1", "NoAudioRadioButton", "PreviewStyleComboBox"}));
    }

    // Digits up to the field's largest number; what is refused is said
    // beside the field. The usual keys work.
    void numberEditsTakeDigitsOfTheirRangeAndTheUsualKeys() {
        struct TRow {
            QLineEdit* Edit;
            QString Largest;
            QString Range;
        };
        const TRow Rows[] = {
            {Window->BitRateEdit, "100000", "A whole number from 1 to 100000 KBps"},
            {Window->RToleranceEdit, "100", "A whole number from 0 to 100 %"},
            {Window->GToleranceEdit, "100", "A whole number from 0 to 100 %"},
            {Window->BToleranceEdit, "100", "A whole number from 0 to 100 %"},
            {Window->BlockToleranceEdit, "99", "A whole number from 0 to 99 %"},
            {Window->KeyFrameIntervalEdit, "3600000",
             "A whole number from 1 to 3600000 milliseconds"},
            {Window->FrameRateLimitEdit, "255", "A whole number from 1 to 255 fps"},
            {Window->CropWidthEdit, "8192", "A whole number from 1 to 8192 pixels"},
            {Window->CropTopEdit, "8191", "A whole number from 0 to 8191 pixels"},
            {Window->SizeHeightEdit, "4095", "A whole number from 1 to 4095 pixels"},
        };
        QClipboard* Clipboard = QGuiApplication::clipboard();
        for (const TRow& Row : Rows) {
            QLineEdit* Edit = Row.Edit;
            Edit->setEnabled(true);
            Edit->clear();
            QToolTip::hideText();
            QTest::keyClicks(Edit, "1a2");
            QCOMPARE(Edit->text(), QString("12"));
            QTRY_VERIFY(QToolTip::isVisible());
            QCOMPARE(QToolTip::text(), Row.Range);
            QCOMPARE(Edit->accessibleDescription(), Row.Range);
            Edit->setText(Row.Largest);
            QTest::keyClick(Edit, Qt::Key_End);
            QTest::keyClick(Edit, Qt::Key_0);
            QCOMPARE(Edit->text(), Row.Largest);
            QTest::keyClick(Edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(Edit, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(Clipboard->text(), Row.Largest);
            Clipboard->setText("7");
            QTest::keyClick(Edit, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(Edit->text(), QString("7"));
            QTest::keyClick(Edit, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(Edit->text(), Row.Largest);
            // An input method hands over the characters typed as one text.
            Edit->clear();
            QInputMethodEvent Composed;
            Composed.setCommitString("3b4\u00e9");
            QApplication::sendEvent(Edit, &Composed);
            QCOMPARE(Edit->text(), QString("34"));
        }
    }

    // What can still become a time, as it is typed: a character that can't
    // is refused and said beside the field.
    void timeEditsTakeWhatCanBecomeATime() {
        const std::pair<const char*, const char*> Rows[] = {
            {"1a:0b5.25x", "1:05.25"},  // no letters
            {"1:65", "1:5"},            // no 60 seconds
            {"1::2", "1:2"},
            {"12.3456", "12.345"},              // milliseconds at most
            {"596:31:23.648", "596:31:23.64"},  // past the latest FLV time
            {"01:02:03.250", "01:02:03.250"},
        };
        for (QLineEdit* Edit : {Window->RangeStartEdit, Window->RangeEndEdit}) {
            for (const auto& [Typed, Kept] : Rows) {
                Edit->clear();
                QToolTip::hideText();
                QTest::keyClicks(Edit, Typed);
                QCOMPARE(Edit->text(), QString(Kept));
                if (QString(Typed) != Kept) {
                    QTRY_VERIFY(QToolTip::isVisible());
                    QCOMPARE(QToolTip::text(), Edit->toolTip());
                }
            }
            QCOMPARE(Edit->toolTip(), QString("A time in seconds or [HH:]MM:SS[.mmm]"));
            Edit->clear();
            QInputMethodEvent Composed;
            Composed.setCommitString("1:2x3\u00e9");
            QApplication::sendEvent(Edit, &Composed);
            QCOMPARE(Edit->text(), QString("1:23"));
        }
    }

    void typingIntoAListChangesNothing() {
        for (QComboBox* List :
             {Window->ComboBox1, Window->BlockWidthComboBox, Window->BlockHeightComboBox,
              Window->ColorLimitComboBox, Window->PreviewStyleComboBox}) {
            const int Before = List->currentIndex();
            QTest::keyClicks(List, "2a3");
            QTest::keyClick(List, Qt::Key_Backspace);
            QCOMPARE(List->currentIndex(), Before);
        }
        // Nor into an open one; items are picked with the arrow keys.
        QComboBox* List = Window->BlockWidthComboBox;
        Window->PageControl1->setCurrentIndex(1);
        List->showPopup();
        QTest::keyClicks(List->view(), "2");
        QTest::keyClick(List->view(), Qt::Key_Down);
        QTest::keyClick(List->view(), Qt::Key_Return);
        QCOMPARE(List->currentText(), QString("80"));
    }

    void enablingRulesFollowTheirControls() {
        const QStringList Dependents = {"Label5",
                                        "BitRateEdit",
                                        "Label1",
                                        "Label2",
                                        "RToleranceEdit",
                                        "GToleranceEdit",
                                        "BToleranceEdit",
                                        "BlockToleranceEdit",
                                        "Label4",
                                        "KeyFrameIntervalEdit",
                                        "Label9",
                                        "FrameRateLimitEdit",
                                        "ColorLimitComboBox",
                                        "CropLabel",
                                        "CropWidthEdit",
                                        "CropHeightEdit",
                                        "CropLeftEdit",
                                        "CropTopEdit",
                                        "SizeLabel",
                                        "SizeWidthEdit",
                                        "SizeHeightEdit",
                                        "AudioFileEdit",
                                        "Button2",
                                        "PreviewStyleComboBox"};
        const QStringList Fresh = {"PreviewStyleComboBox"};
        struct TRow {
            const char* Clicked;  // the buttons clicked, in order
            QStringList Enabled;
        };
        const TRow Rows[] = {
            {"BitrateCompressionRadioButton", Fresh + QStringList{"Label5", "BitRateEdit"}},
            {"QualityCompressionRadioButton",
             Fresh + QStringList{"Label1", "Label2", "RToleranceEdit", "GToleranceEdit",
                                 "BToleranceEdit", "BlockToleranceEdit"}},
            {"QualityCompressionRadioButton,LosslessRadioButton", Fresh},
            {"KeyFrameCheckBox", {"Label4", "KeyFrameIntervalEdit", "PreviewStyleComboBox"}},
            {"FrameRateLimitCheckBox,FrameRateLimitCheckBox", {"PreviewStyleComboBox"}},
            {"ColorReductionCheckBox", Fresh + QStringList{"ColorLimitComboBox"}},
            {"CropCheckBox", Fresh + QStringList{"CropLabel", "CropWidthEdit", "CropHeightEdit",
                                                 "CropLeftEdit", "CropTopEdit"}},
            {"SizeCheckBox", Fresh + QStringList{"SizeLabel", "SizeWidthEdit", "SizeHeightEdit"}},
            {"PreviewCheckBox", {}},
            {"MP3AudioRadioButton", Fresh + QStringList{"AudioFileEdit", "Button2"}},
            {"MP3AudioRadioButton,NoAudioRadioButton", Fresh},
        };
        for (const TRow& Row : Rows) {
            auto Fresh = test::ShowMainWindow();
            for (const QString& Name : QString(Row.Clicked).split(',')) {
                auto* Button = static_cast<QAbstractButton*>(Control(*Fresh, qPrintable(Name)));
                Button->setEnabled(true);  // the audio choices wait for an input file
                Button->click();
            }
            QStringList Expected = Row.Enabled;
            QStringList Actual = EnabledOf(*Fresh, Dependents);
            Expected.sort();
            Actual.sort();
            QVERIFY2(Actual == Expected, Row.Clicked);
        }
    }

    void theClientAreaNeverShrinksBelowTheDesignSize() {
        struct TRow {
            QSize Proposed, Allowed;  // client sizes
        };
        const TRow Rows[] = {{{300, 200}, {607, 499}},
                             {{600, 800}, {607, 800}},
                             {{900, 400}, {900, 499}},
                             {{1000, 700}, {1000, 700}}};
        for (const TRow& Row : Rows) {
            Window->resize(Row.Proposed);
            QCOMPARE(Window->size(), Row.Allowed);
        }
    }

    void tabsShareThePageControlsWidth() {
        for (const auto& [ClientWidth, TabWidth] : {std::pair{607, 146}, std::pair{707, 171}}) {
            Window->resize(ClientWidth, 499);
            QCOMPARE(Window->PageControl1->width(), ClientWidth - 16);
            for (int Page = 0; Page < Window->PageControl1->count(); ++Page) {
                QCOMPARE(Window->PageControl1->tabBar()->tabRect(Page).width(), TabWidth);
            }
        }
    }

    void thePreviewIsScaledAndCentredByStyle() {
        Window->PageControl1->setCurrentIndex(3);
        Window->PreviewImage->resize(566, 367);
        enum { Half, Actual, Double, Triple, Auto };
        struct TRow {
            int Style;
            QSize Frame;
            QRect Expected;  // left, top, right, bottom
        };
        const TRow Rows[] = {
            {Auto, {320, 240}, QRect(QPoint(38, 0), QPoint(527, 367))},
            {Auto, {640, 480}, QRect(QPoint(38, 0), QPoint(527, 367))},
            {Auto, {1024, 256}, QRect(QPoint(0, 112), QPoint(566, 254))},
            {Auto, {1132, 281}, QRect(QPoint(0, 113), QPoint(566, 253))},
            {Triple, {640, 480}, QRect(QPoint(-677, -536), QPoint(1243, 904))},
            {Half, {321, 241}, QRect(QPoint(203, 123), QPoint(363, 243))},
            {Actual, {640, 480}, QRect(QPoint(-37, -56), QPoint(603, 424))},
            {Double, {100, 50}, QRect(QPoint(183, 133), QPoint(383, 233))},
            {Auto, {0, 0}, QRect(QPoint(283, 183), QPoint(283, 183))},
            {Triple, {0, 0}, QRect(QPoint(283, 183), QPoint(283, 183))},
        };
        for (const TRow& Row : Rows) {
            Window->PreparePreview(Row.Frame.width(), Row.Frame.height());
            Window->PreviewStyleComboBox->setCurrentIndex(Row.Style);
            Window->FormResize();
            const QRectF Location = Window->PreviewLayer->Location;
            const QRect Actual(QPoint(int(Location.left()), int(Location.top())),
                               QPoint(int(Location.right()), int(Location.bottom())));
            QCOMPARE(Actual, Row.Expected);
        }
    }

    // What a font or style change could break: a caption cut off, or one
    // control drawn over another.
    void everyCaptionFitsAndNoControlOverlapsAnother() {
        for (int Page = 0; Page < Window->PageControl1->count(); ++Page) {
            Window->PageControl1->setCurrentIndex(Page);
            QTest::qWait(0);
        }
        // The progress bar shows from Start until the run has ended.
        Window->ProgressBar->show();
        Window->StepLabel->setText("Encoding finished successfully.");
        for (auto* Button : Window->findChildren<QAbstractButton*>()) {
            const QString Shown = QString(Button->text()).remove('&');
            QVERIFY2(Button->fontMetrics().horizontalAdvance(Shown) <= TextRoom(*Button),
                     qPrintable(Shown));
        }
        for (auto* List : Window->findChildren<QComboBox*>()) {
            QVERIFY2(WidestItem(*List) <= TextRoom(*List), qPrintable(List->objectName()));
        }
        for (auto* Label : Window->findChildren<QLabel*>()) {
            const bool Gapped = dynamic_cast<TGapLabel*>(Label);
            if (!Gapped && !Label->text().isEmpty()) {
                QVERIFY2(Label->sizeHint().width() <= Label->width(), qPrintable(Label->text()));
                QVERIFY2(Label->fontMetrics().height() <= Label->height(),
                         qPrintable(Label->text()));
            }
        }
        for (auto* Container : Window->findChildren<QWidget*>()) {
            const auto Children = Container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* A : Children) {
                for (QWidget* B : Children) {
                    if (A == B || A->isHidden() || B->isHidden()) {
                        continue;
                    }
                    const std::vector<QRect> InkOfB = InkOf(*B);
                    for (const QRect& Area : InkOf(*A)) {
                        QVERIFY2(!Overlaps(Area, InkOfB),
                                 qPrintable(A->objectName() + " / " + B->objectName()));
                    }
                }
            }
        }
    }

    // Every control a Tab reaches has a name of its own, none said twice,
    // and Tab goes through each page in reading order (a group of radio
    // buttons is one stop, its checked button).
    void everyControlHasANameOfItsOwnAndTabFollowsThePage() {
        QStringList Names;
        Window->AVIAudioRadioButton->setChecked(true);
        Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Window.get()));
        const QWidget* Sheets[] = {Window->TabSheet1, Window->TabSheet2, Window->TabSheet4,
                                   Window->TabSheet3};
        for (int Page = 0; Page < 4; ++Page) {
            QWidget* Sheet = const_cast<QWidget*>(Sheets[Page]);
            Window->PageControl1->setCurrentIndex(Page);
            std::vector<QWidget*> Stops;
            for (QWidget* Control : Sheet->findChildren<QWidget*>()) {
                if (!(Control->focusPolicy() & Qt::TabFocus) || Control->window() != Window.get()) {
                    continue;
                }
                const QString Name = SpokenName(*Control);
                QVERIFY2(!Name.trimmed().isEmpty(), qPrintable(Control->objectName()));
                QVERIFY2(!Names.contains(Name), qPrintable(Name));
                Names << Name;
                Control->setEnabled(true);
                const auto* Radio = qobject_cast<QRadioButton*>(Control);
                if (!Radio || Radio->isChecked()) {
                    Stops.push_back(Control);
                }
            }
            std::stable_sort(Stops.begin(), Stops.end(),
                             [&](QWidget* A, QWidget* B) { return ReadsBefore(Sheet, A, B); });
            Stops.front()->setFocus();
            std::vector<QWidget*> Walked = {Stops.front()};
            while (Walked.size() < Stops.size()) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                Walked.push_back(QApplication::focusWidget());
            }
            QCOMPARE(Walked, Stops);
        }
    }

    // On a screen smaller than the design size (ctest runs this at a scale
    // factor of 2 too) the window and its frame fit, and the pages keep the
    // room their controls need, scrolling where they must: no control lies
    // outside the page or box it is in.
    void theWindowFitsItsScreen() {
        const QRect Available = Window->screen()->availableGeometry();
        QVERIFY2(Available.contains(Window->frameGeometry()),
                 qPrintable(QString("%1x%2 in %3x%4")
                                .arg(Window->frameGeometry().width())
                                .arg(Window->frameGeometry().height())
                                .arg(Available.width())
                                .arg(Available.height())));
        Window->ProgressBar->show();
        for (QWidget* Sheet :
             {Window->TabSheet1, Window->TabSheet2, Window->TabSheet4, Window->TabSheet3}) {
            Window->PageControl1->setCurrentWidget(Sheet->parentWidget()->parentWidget());
            QTest::qWait(0);
            for (QWidget* Control : Sheet->findChildren<QWidget*>()) {
                QVERIFY2(
                    Control->isHidden() || Control->window() != Window.get() ||
                        Control->parentWidget()->rect().contains(Control->geometry()),
                    qPrintable(Control->objectName() + " " + Control->metaObject()->className() +
                               " in " + Control->parentWidget()->objectName()));
            }
        }
    }

    void everyStepTextFitsItsLabel() {
        for (const char* Step : {"Encoding audio...", "Encoding video...", "Encoding failed.",
                                 "Encoding stopped by user.", "Encoding finished successfully.",
                                 "No video found in the selected file."}) {
            Window->StepLabel->setText(Step);
            QVERIFY2(Window->StepLabel->sizeHint().width() <= Window->StepLabel->width(), Step);
        }
    }

    // What the job receives for the controls as the user set them; an edit
    // in use that holds no whole number refuses the start.
    void settingsReachTheJob() {
        struct TRow {
            const char* Name;
            std::function<void(TForm1&)> Set;
            std::function<bool(const TJobSettings&)> Holds;
            const char* Refusal = nullptr;
        };
        const auto Bitrate = [](const char* Text) {
            return [Text](TForm1& W) {
                W.BitrateCompressionRadioButton->click();
                W.BitRateEdit->setText(Text);
            };
        };
        const auto BitRateIs = [](int32_t Rate) {
            return [Rate](const TJobSettings& S) {
                return S.Encoder.CompressionMode == BitrateMode && S.Encoder.BitRate == Rate;
            };
        };
        const auto Quality = [](TForm1& W) { W.QualityCompressionRadioButton->click(); };
        const TRow Rows[] = {
            {"defaults: lossless, 64 x 32 blocks, no key frames, no limit, no audio, preview",
             [](TForm1&) {},
             [](const TJobSettings& S) {
                 return S.Encoder.CompressionMode == LosslessMode && S.Encoder.BlockWidth == 64 &&
                        S.Encoder.BlockHeight == 32 && S.KeyFrameInterval == 0 &&
                        S.FrameRateLimit == 0 && S.Encoder.ColorShift == 0 &&
                        S.Audio.Source == TAudioSource::None && S.Preview && !S.AddMetadata &&
                        S.Range.Start == 0 && !S.Range.End &&
                        S.Picture == platform::TPictureGeometry{};
             }},
            {"the seek index", [](TForm1& W) { W.MetadataCheckBox->click(); },
             [](const TJobSettings& S) { return S.AddMetadata; }},
            {"the last block-width item",
             [](TForm1& W) { W.BlockWidthComboBox->setCurrentIndex(15); },
             [](const TJobSettings& S) { return S.Encoder.BlockWidth == 256; }},
            {"bit rate", Bitrate("250"), BitRateIs(250)},
            {"the largest bit rate", Bitrate("100000"), BitRateIs(100000)},
            {"an empty edit in use", Bitrate(""), nullptr,
             "Maximum bitrate takes a whole number from 1 to 100000 KBps, not ''."},
            {"a sign", Bitrate("+7"), nullptr,
             "Maximum bitrate takes a whole number from 1 to 100000 KBps, not '+7'."},
            {"beyond the range", Bitrate("100001"), nullptr,
             "Maximum bitrate takes a whole number from 1 to 100000 KBps, not '100001'."},
            {"beyond 32 bits", Bitrate("2147483648"), nullptr,
             "Maximum bitrate takes a whole number from 1 to 100000 KBps, not '2147483648'."},
            {"edits of settings that are off are not read",
             [](TForm1& W) {
                 for (QLineEdit* Edit : {W.BitRateEdit, W.RToleranceEdit, W.BlockToleranceEdit,
                                         W.KeyFrameIntervalEdit, W.FrameRateLimitEdit}) {
                     Edit->clear();
                 }
             },
             [](const TJobSettings& S) { return S.Encoder.CompressionMode == LosslessMode; }},
            {"tolerances 30, 15, 30 and 3", Quality,
             [](const TJobSettings& S) {
                 return S.Encoder.CompressionMode == QualityMode && S.Encoder.RedTolerance == 76 &&
                        S.Encoder.GreenTolerance == 38 && S.Encoder.BlueTolerance == 76 &&
                        S.Encoder.BlockTolerance == 3;
             }},
            {"a colour tolerance of 100 % ignores the channel",
             [&](TForm1& W) {
                 Quality(W);
                 W.RToleranceEdit->setText("100");
                 W.BlockToleranceEdit->setText("99");
             },
             [](const TJobSettings& S) {
                 return S.Encoder.RedTolerance == 255 && S.Encoder.BlockTolerance == 99;
             }},
            {"a colour tolerance beyond 100 %",
             [&](TForm1& W) {
                 Quality(W);
                 W.GToleranceEdit->setText("250");
             },
             nullptr, "Green tolerance takes a whole number from 0 to 100 %, not '250'."},
            {"a block tolerance that would never send a block",
             [&](TForm1& W) {
                 Quality(W);
                 W.BlockToleranceEdit->setText("100");
             },
             nullptr,
             "Block pixels change tolerance takes a whole number from 0 to 99 %, not '100'."},
            {"key frames every 2500 ms, at most 255 fps",
             [](TForm1& W) {
                 W.KeyFrameCheckBox->click();
                 W.KeyFrameIntervalEdit->setText("2500");
                 W.FrameRateLimitCheckBox->click();
                 W.FrameRateLimitEdit->setText("255");
             },
             [](const TJobSettings& S) {
                 return S.KeyFrameInterval == 2500 && S.FrameRateLimit == 255;
             }},
            {"a frame-rate limit of 0",
             [](TForm1& W) {
                 W.FrameRateLimitCheckBox->click();
                 W.FrameRateLimitEdit->setText("0");
             },
             nullptr, "Frame rate limit takes a whole number from 1 to 255 fps, not '0'."},
            {"304 colours",
             [](TForm1& W) {
                 W.ColorReductionCheckBox->click();
                 W.ColorLimitComboBox->setCurrentIndex(2);
             },
             [](const TJobSettings& S) { return S.Encoder.ColorShift == 5; }},
            {"a range",
             [](TForm1& W) {
                 W.RangeStartEdit->setText("1:02.5");
                 W.RangeEndEdit->setText("01:02:03");
             },
             [](const TJobSettings& S) {
                 return S.Range.Start == 62500 && S.Range.End == 3723000;
             }},
            {"a start alone: to the end", [](TForm1& W) { W.RangeStartEdit->setText("90"); },
             [](const TJobSettings& S) { return S.Range.Start == 90000 && !S.Range.End; }},
            {"a time on the way", [](TForm1& W) { W.RangeEndEdit->setText("2:"); }, nullptr,
             "Ending at takes a time in seconds or [HH:]MM:SS[.mmm], not '2:'."},
            {"an end before the start",
             [](TForm1& W) {
                 W.RangeStartEdit->setText("10");
                 W.RangeEndEdit->setText("9.999");
             },
             nullptr, "The end, 0:09.999, must come after the start, 0:10.000."},
            {"a crop and a width, the height keeping the aspect",
             [](TForm1& W) {
                 W.CropCheckBox->click();
                 W.CropWidthEdit->setText("1280");
                 W.CropHeightEdit->setText("720");
                 W.CropLeftEdit->setText("16");
                 W.CropTopEdit->setText("8191");
                 W.SizeCheckBox->click();
             },
             [](const TJobSettings& S) {
                 return S.Picture.Crop == platform::TPictureRect{1280, 720, 16, 8191} &&
                        S.Picture.Width == 1280 && S.Picture.Height == 0;
             }},
            {"a height alone",
             [](TForm1& W) {
                 W.SizeCheckBox->click();
                 W.SizeWidthEdit->clear();
                 W.SizeHeightEdit->setText("4095");
             },
             [](const TJobSettings& S) {
                 return !S.Picture.Crop && S.Picture.Width == 0 && S.Picture.Height == 4095;
             }},
            {"a size without either side",
             [](TForm1& W) {
                 W.SizeCheckBox->click();
                 W.SizeWidthEdit->clear();
             },
             nullptr,
             "Resized width and Resized height are both empty: give at least one of them; the "
             "other then keeps the aspect."},
            {"an empty crop field",
             [](TForm1& W) {
                 W.CropCheckBox->click();
                 W.CropLeftEdit->clear();
             },
             nullptr, "Crop left takes a whole number from 0 to 8191 pixels, not ''."},
            {"an external MP3 file, no preview",
             [](TForm1& W) {
                 W.MP3AudioRadioButton->setChecked(true);
                 W.AudioFileEdit->setText("/music/tone.mp3");
                 W.PreviewCheckBox->click();
             },
             [](const TJobSettings& S) {
                 return S.Audio.Source == TAudioSource::Mp3File &&
                        S.Audio.Mp3FileName == "/music/tone.mp3" && !S.Preview;
             }},
        };
        for (const TRow& Row : Rows) {
            auto Fresh = test::ShowMainWindow();
            Row.Set(*Fresh);
            try {
                const TJobSettings Settings = Fresh->ReadSettings();
                QVERIFY2(!Row.Refusal && Row.Holds(Settings), Row.Name);
            } catch (const std::exception& Refused) {
                QVERIFY2(Row.Refusal, Row.Name);
                QCOMPARE(QString(Refused.what()), QString(Row.Refusal));
            }
        }
    }
};

QUORVANE_WINDOW_TEST_MAIN(WindowSettings)
#include "WindowSettingsTest.moc"
