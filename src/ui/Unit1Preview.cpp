// The preview: the job's frames in PreviewImage, scaled by the chosen style
// and centred in the view.
#include <QComboBox>
#include <cmath>

#include "ui/BitmapLayer.h"
#include "ui/DibBitmap.h"
#include "ui/Image32.h"
#include "ui/PageControl.h"
#include "ui/Unit1.h"

namespace quorvane {

namespace {

enum TPreviewStyle { Half = 0, Actual = 1, Double = 2, Triple = 3, Fit = 4 };

// Half-way values go to the even neighbour.
uint16_t RoundToEven(double Value) {
    return static_cast<uint16_t>(std::nearbyint(Value));
}

// The bitmap fitted into the view with its aspect ratio kept; the factor
// is held in single precision.
QSize FittedSize(QSize Bitmap, QSize View) {
    if (Bitmap.isEmpty() || View.isEmpty()) {
        return {0, 0};
    }
    const double ViewRatio = double(View.width()) / View.height();
    const double BitmapRatio = double(Bitmap.width()) / Bitmap.height();
    const float Factor = ViewRatio >= BitmapRatio ? float(double(View.height()) / Bitmap.height())
                                                  : float(double(View.width()) / Bitmap.width());
    return {RoundToEven(Bitmap.width() * double(Factor)),
            RoundToEven(Bitmap.height() * double(Factor))};
}

QSize ScaledSize(int Style, QSize Bitmap, QSize View) {
    const auto Times = [&](int N) {
        return QSize(uint16_t(Bitmap.width() * N), uint16_t(Bitmap.height() * N));
    };
    switch (Style) {
        case Half:
            return QSize(Bitmap.width() / 2, Bitmap.height() / 2);
        case Actual:
        case Double:
        case Triple:
            return Times(Style);
        case Fit:
            return FittedSize(Bitmap, View);
        default:
            return Bitmap;
    }
}

}  // namespace

void TForm1::FormResize() {
    const QSize View = PreviewImage->size();
    const QSize Scaled =
        ScaledSize(PreviewStyleComboBox->currentIndex(), PreviewLayer->Bitmap.size(), View);
    const int Left = (View.width() - Scaled.width()) / 2;
    const int Top = (View.height() - Scaled.height()) / 2;
    PreviewLayer->Location = QRectF(Left, Top, Scaled.width(), Scaled.height());
    PreviewImage->update();
    PageControl1->SetTabWidth((PageControl1->width() - 6) / PageControl1->count());
}

void TForm1::PreparePreview(int32_t Width, int32_t Height) {
    PreviewLayer->Bitmap = QImage(Width, Height, QImage::Format_RGB32);
    PreviewLayer->Bitmap.fill(Qt::black);
    FormResize();
}

void TForm1::ShowPreview(const platform::TPicture& Frame) {
    if (CopyPictureToBitmap(Frame, PreviewLayer->Bitmap)) {
        PreviewImage->repaint();
    }
}

}  // namespace quorvane
