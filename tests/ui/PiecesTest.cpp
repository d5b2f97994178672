// The window's parts that stand alone: the version text and the copy of
// the job's frames into the preview bitmap.
#include <QtTest>
#include <cstring>

#include "platform/WinTypes.h"
#include "ui/DibBitmap.h"
#include "ui/VersionInfo.h"

using namespace quorvane;

namespace {

// A packed DIB of Width x Height (negative: top-down) whose pixel (x, y),
// counted from the top row, is blue x, green y, red 200.
std::vector<uint8_t> MakeDib(int Width, int Height, int BitCount) {
    const int Rows = std::abs(Height);
    const int BytesPerPixel = BitCount / 8;
    const int Stride = (Width * BytesPerPixel + 3) & ~3;
    std::vector<uint8_t> Dib(sizeof(platform::BITMAPINFOHEADER) + size_t(Stride) * Rows, 0xEE);
    platform::BITMAPINFOHEADER Header{};
    Header.biSize = sizeof Header;
    Header.biWidth = Width;
    Header.biHeight = Height;
    Header.biPlanes = 1;
    Header.biBitCount = uint16_t(BitCount);
    std::memcpy(Dib.data(), &Header, sizeof Header);
    for (int Y = 0; Y < Rows; ++Y) {
        const int Stored = Height > 0 ? Rows - 1 - Y : Y;
        uint8_t* Row = Dib.data() + sizeof Header + size_t(Stride) * Stored;
        for (int X = 0; X < Width; ++X) {
            uint8_t* Pixel = Row + X * BytesPerPixel;
            Pixel[0] = uint8_t(X);
            Pixel[1] = uint8_t(Y);
            Pixel[2] = 200;
        }
    }
    return Dib;
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
            {3, 2, 24},   // rows padded from 9 to 12 bytes
            {5, 3, 32},   // the fourth byte is ignored
            {3, -2, 24},  // a top-down frame
        };
        for (const auto& [Width, Height, BitCount] : Rows) {
            QImage Bitmap(Width, std::abs(Height), QImage::Format_RGB32);
            QVERIFY(CopyDibToBitmap(MakeDib(Width, Height, BitCount).data(), Bitmap));
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
        QVERIFY(!CopyDibToBitmap(MakeDib(4, 2, 24).data(), Bitmap));
        QVERIFY(!CopyDibToBitmap(MakeDib(3, 3, 32).data(), Bitmap));
        QVERIFY(!CopyDibToBitmap(MakeDib(3, 2, 16).data(), Bitmap));
        QVERIFY(!CopyDibToBitmap(nullptr, Bitmap));
        QCOMPARE(Bitmap, Before);
    }
};

QTEST_GUILESS_MAIN(WindowPieces)
#include "PiecesTest.moc"
