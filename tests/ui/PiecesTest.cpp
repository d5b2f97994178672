// The window's parts that stand alone: the version text and the copy of
// the job's frames into the preview bitmap.
#include <QtTest>
#include <vector>

#include "platform/types/WinTypes.h"
#include "ui/DibBitmap.h"
#include "ui/VersionInfo.h"

using namespace quorvane;

namespace {

// Bottom-up rows of Width x Height whose pixel (x, y), counted from the top
// row, is blue x, green y, red 200; padding bytes 0xEE.
struct TRows {
    std::vector<uint8_t> Bytes;
    platform::TPicture Picture;
};

TRows MakeRows(int Width, int Height, int BytesPerPixel) {
    TRows Made;
    const size_t Stride = (size_t(Width) * BytesPerPixel + 3) & ~size_t(3);
    Made.Bytes.assign(Stride * Height, 0xEE);
    for (int Y = 0; Y < Height; ++Y) {
        uint8_t* Row = Made.Bytes.data() + Stride * (Height - 1 - Y);
        for (int X = 0; X < Width; ++X) {
            uint8_t* Pixel = Row + X * BytesPerPixel;
            Pixel[0] = uint8_t(X);
            Pixel[1] = uint8_t(Y);
            Pixel[2] = 200;
        }
    }
    Made.Picture = {Width, Height, uint8_t(BytesPerPixel), Stride, Made.Bytes.data()};
    return Made;
}

}  // namespace

class WindowPieces : public QObject {
    Q_OBJECT

private slots:
    void theVersionTextShowsMajorMinorAndBuild() {
        const std::pair<platform::VS_FIXEDFILEINFO, const char*> Rows[] = {
            {{0x00010000, 0x00000015, 0, 0}, "Version 1.0 build 21"},
            {{0x00020003, 0x00040005, 0, 0}, "Version 2.3 build 5"},
            {{0xFFFFFFFF, 0xFFFFFFFF, 0, 0}, "Version 65535.65535 build 65535"},
        };
        for (const auto& [Info, Text] : Rows) {
            QCOMPARE(FormatVersionString(Info), std::string(Text));
        }
        QCOMPARE(GetVersionString(), std::string("Version 1.0 build 21"));
    }

    void framesAreCopiedTopRowFirstAndOpaque() {
        const std::tuple<int, int, int> Rows[] = {
            {3, 2, 3},  // rows padded from 9 to 12 bytes
            {5, 3, 4},  // the fourth byte is ignored
        };
        for (const auto& [Width, Height, BytesPerPixel] : Rows) {
            QImage Bitmap(Width, Height, QImage::Format_RGB32);
            QVERIFY(CopyPictureToBitmap(MakeRows(Width, Height, BytesPerPixel).Picture, Bitmap));
            for (int Y = 0; Y < Bitmap.height(); ++Y) {
                for (int X = 0; X < Width; ++X) {
                    QCOMPARE(Bitmap.pixel(X, Y), qRgb(200, Y, X));
                }
            }
        }
    }

    void aFrameOfAnotherSizeOrFormatIsDropped() {
        QImage Bitmap(3, 2, QImage::Format_RGB32);
        Bitmap.fill(Qt::black);
        const QImage Before = Bitmap;
        QVERIFY(!CopyPictureToBitmap(MakeRows(4, 2, 3).Picture, Bitmap));
        QVERIFY(!CopyPictureToBitmap(MakeRows(3, 3, 4).Picture, Bitmap));
        QVERIFY(!CopyPictureToBitmap(MakeRows(3, 2, 2).Picture, Bitmap));
        QVERIFY(!CopyPictureToBitmap({}, Bitmap));
        QCOMPARE(Bitmap, Before);
    }
};

QTEST_GUILESS_MAIN(WindowPieces)
#include "PiecesTest.moc"
