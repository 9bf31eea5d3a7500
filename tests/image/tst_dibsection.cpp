// The 24-bit section: its stride and row order, the copy of pictures of
// every format, blits, and each way creation can fail.
#include "cDIBSection.h"

#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <cstring>
#include <stdexcept>

namespace {

// Every pixel distinct in its neighbourhood, no channel equal to another.
QImage pattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb((x * 37 + 5) & 0xff, (y * 53 + 7) & 0xff, (x * y * 11 + 13 + y) & 0xff));
    return image;
}

// The first pixel whose bytes at r * stride + 3x (r counted from the bottom)
// differ from the expected picture, as text; empty when all match.
QString firstMismatch(const cDIBSection& dib, const QImage& expected) {
    const std::uint8_t* bits = dib.DIBSectionBitsPtr();
    if (bits == nullptr)
        return QStringLiteral("no pixels");
    const int stride = dib.BytesPerScanLine();
    for (int r = 0; r < dib.Height(); ++r) {
        for (int x = 0; x < dib.Width(); ++x) {
            const std::uint8_t* p = bits + r * stride + 3 * x;
            const QRgb want = expected.pixel(x, dib.Height() - 1 - r);
            if (p[0] != qBlue(want) || p[1] != qGreen(want) || p[2] != qRed(want))
                return QStringLiteral("storage row %1, x %2: %3 %4 %5, want %6 %7 %8")
                    .arg(r)
                    .arg(x)
                    .arg(p[0])
                    .arg(p[1])
                    .arg(p[2])
                    .arg(qBlue(want))
                    .arg(qGreen(want))
                    .arg(qRed(want));
        }
    }
    return {};
}

} // namespace

class tst_DibSection final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyBeforeCreation() {
        const cDIBSection dib;
        QCOMPARE(dib.Width(), 0);
        QCOMPARE(dib.Height(), 0);
        QCOMPARE(dib.BytesPerScanLine(), 0);
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
    }

    void strideAndRowOrder_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("stride");
        QTest::newRow("1") << 1 << 4;
        QTest::newRow("2") << 2 << 8;
        QTest::newRow("3") << 3 << 12;
        QTest::newRow("4") << 4 << 12;
        QTest::newRow("5") << 5 << 16;
    }
    void strideAndRowOrder() {
        QFETCH(int, width);
        QFETCH(int, stride);
        const QImage picture = pattern(width, 3);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        QCOMPARE(dib.Width(), width);
        QCOMPARE(dib.Height(), 3);
        QCOMPARE(dib.BytesPerScanLine(), stride);
        QCOMPARE(firstMismatch(dib, picture), QString());
    }

    void firstByteIsBlueOfBottomLeft() {
        QImage picture = pattern(3, 4);
        picture.setPixel(0, 3, qRgb(10, 20, 30)); // bottom left
        picture.setPixel(0, 0, qRgb(40, 50, 60)); // top left
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        const std::uint8_t* bits = dib.DIBSectionBitsPtr();
        QVERIFY(bits != nullptr);
        QCOMPARE(int(bits[0]), 30);
        QCOMPARE(int(bits[1]), 20);
        QCOMPARE(int(bits[2]), 10);
        const std::uint8_t* top = bits + 3 * dib.BytesPerScanLine();
        QCOMPARE(int(top[0]), 60);
        QCOMPARE(int(top[2]), 40);
    }

    void freshSectionIsBlackThroughout() {
        cDIBSection dib;
        QVERIFY(dib.Create(5, 7));
        const std::size_t size = std::size_t(dib.Height()) * std::size_t(dib.BytesPerScanLine());
        QCOMPARE(size, std::size_t(7 * 16));
        const std::uint8_t* bits = dib.DIBSectionBitsPtr();
        for (std::size_t i = 0; i < size; ++i)
            QCOMPARE(int(bits[i]), 0);
    }

    void clearUpKeepsSize() {
        cDIBSection dib;
        QVERIFY(dib.Create(6, 2));
        QVERIFY(dib.DIBSectionBitsPtr() != nullptr);
        dib.ClearUp();
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QCOMPARE(dib.Width(), 6);
        QCOMPARE(dib.Height(), 2);
        QCOMPARE(dib.BytesPerScanLine(), 20);
        // Nothing to draw on any more.
        const QImage picture = pattern(6, 2);
        QImage source = picture;
        QPainter painter(&source);
        dib.LoadPictureBlt(&painter);
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
    }

    void refusedSizes_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("zero width") << 0 << 5;
        QTest::newRow("zero height") << 5 << 0;
        QTest::newRow("both zero") << 0 << 0;
        QTest::newRow("negative width") << -3 << 4;
        QTest::newRow("negative height") << 4 << -3;
    }
    void refusedSizes() {
        QFETCH(int, width);
        QFETCH(int, height);
        cDIBSection dib;
        QVERIFY(dib.Create(8, 8));
        QVERIFY(!dib.Create(width, height));
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QCOMPARE(dib.Width(), width);
        QCOMPARE(dib.Height(), height);
        // Still usable afterwards.
        QVERIFY(dib.Create(2, 2));
        QVERIFY(dib.DIBSectionBitsPtr() != nullptr);
    }

    void createDibHandsOutTheSection() {
        cDIBSection dib;
        QImage section;
        QVERIFY(dib.CreateDIB(nullptr, 3, 2, section));
        QVERIFY(!section.isNull());
        QCOMPARE(section.size(), QSize(3, 2));
        QCOMPARE(section.bytesPerLine(), 12);
        QVERIFY(dib.DIBSectionBitsPtr() == section.constBits());

        QVERIFY(!dib.CreateDIB(nullptr, 0, 2, section));
        QVERIFY(section.isNull());
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QCOMPARE(dib.Width(), 0);
    }

    void lineLengthOverflowThrows() {
        cDIBSection dib;
        QVERIFY(dib.Create(4, 4));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(800'000'000, 1));
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QCOMPARE(dib.Width(), 800'000'000);
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.BytesPerScanLine());
        // The largest width whose line length still fits.
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(715'827'882, 0));
        QVERIFY(!dib.Create(715'827'881, 0));
        QCOMPARE(dib.BytesPerScanLine(), 2'147'483'644);
    }

    void imageSizeOverflowThrows() {
        cDIBSection dib;
        QVERIFY(dib.Create(4, 4));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(100'000, 10'000));
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QCOMPARE(dib.Width(), 100'000);
        QCOMPARE(dib.Height(), 10'000);
        QCOMPARE(dib.BytesPerScanLine(), 300'000);
        QVERIFY(dib.Create(1, 1));
    }

    void pictureWithoutBitmap() {
        cDIBSection dib;
        QVERIFY(dib.Create(3, 3));
        dib.CreateFromPicture(QImage());
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QCOMPARE(dib.Width(), 0);
        QCOMPARE(dib.Height(), 0);
    }

    void pictureFormats_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("mono") << int(QImage::Format_Mono);
        QTest::newRow("indexed 8") << int(QImage::Format_Indexed8);
        QTest::newRow("grayscale 8") << int(QImage::Format_Grayscale8);
        QTest::newRow("rgb 16") << int(QImage::Format_RGB16);
        QTest::newRow("rgb 555") << int(QImage::Format_RGB555);
        QTest::newRow("rgb 888") << int(QImage::Format_RGB888);
        QTest::newRow("bgr 888") << int(QImage::Format_BGR888);
        QTest::newRow("rgb 32") << int(QImage::Format_RGB32);
        QTest::newRow("argb 32") << int(QImage::Format_ARGB32);
        QTest::newRow("argb 32 premultiplied") << int(QImage::Format_ARGB32_Premultiplied);
    }
    void pictureFormats() {
        QFETCH(int, format);
        const QImage picture = pattern(13, 9).convertToFormat(QImage::Format(format));
        const QImage before = picture.copy();
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        QCOMPARE(dib.Width(), 13);
        QCOMPARE(dib.Height(), 9);
        QCOMPARE(firstMismatch(dib, picture.convertToFormat(QImage::Format_RGB32)), QString());
        QCOMPARE(picture, before);
        QCOMPARE(picture.format(), QImage::Format(format));
    }

    void alphaIsDroppedNotBlended() {
        QImage picture(2, 1, QImage::Format_ARGB32);
        picture.setPixel(0, 0, qRgba(200, 100, 50, 0));
        picture.setPixel(1, 0, qRgba(1, 2, 3, 128));
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        const std::uint8_t* bits = dib.DIBSectionBitsPtr();
        QVERIFY(bits != nullptr);
        QCOMPARE(int(bits[0]), 50);
        QCOMPARE(int(bits[1]), 100);
        QCOMPARE(int(bits[2]), 200);
        QCOMPARE(int(bits[3]), 3);
        QCOMPARE(int(bits[5]), 1);
    }

    void pixmapPicture() {
        const QImage picture = pattern(7, 5);
        cDIBSection dib;
        dib.CreateFromPicture(QPixmap::fromImage(picture));
        QCOMPARE(dib.Width(), 7);
        QCOMPARE(firstMismatch(dib, picture), QString());
    }

    void bltOfPartOfTheSource() {
        const QImage picture = pattern(7, 6);
        QImage source = picture;
        QPainter painter(&source);
        cDIBSection dib;
        QVERIFY(dib.Create(4, 3));
        dib.LoadPictureBlt(&painter, 2, 1, 3, 2);
        painter.end();
        // Top-left 3 x 2 of the section from (2, 1) of the source, the rest
        // still black.
        QImage expected(4, 3, QImage::Format_RGB32);
        expected.fill(Qt::black);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                expected.setPixel(x, y, picture.pixel(x + 2, y + 1));
        QCOMPARE(firstMismatch(dib, expected), QString());
    }

    void bltFromPixmapContext() {
        const QImage picture = pattern(4, 4);
        QPixmap pixmap = QPixmap::fromImage(picture);
        QPainter painter(&pixmap);
        cDIBSection dib;
        QVERIFY(dib.Create(4, 4));
        dib.LoadPictureBlt(&painter);
        painter.end();
        QCOMPARE(firstMismatch(dib, picture), QString());
    }

    void rasterOperations_data() {
        QTest::addColumn<quint32>("rop");
        QTest::addColumn<int>("expected"); // for source byte 0x5A over destination 0x3C
        QTest::newRow("copy") << quint32(cDIBSection::SrcCopy) << 0x5A;
        QTest::newRow("or") << quint32(cDIBSection::SrcPaint) << (0x5A | 0x3C);
        QTest::newRow("and") << quint32(cDIBSection::SrcAnd) << (0x5A & 0x3C);
        QTest::newRow("xor") << quint32(cDIBSection::SrcInvert) << (0x5A ^ 0x3C);
        QTest::newRow("erase") << quint32(cDIBSection::SrcErase) << (0x5A & ~0x3C & 0xff);
        QTest::newRow("not copy") << quint32(cDIBSection::NotSrcCopy) << (~0x5A & 0xff);
        QTest::newRow("not erase") << quint32(cDIBSection::NotSrcErase) << (~(0x5A | 0x3C) & 0xff);
        QTest::newRow("merge paint") << quint32(cDIBSection::MergePaint) << ((~0x5A | 0x3C) & 0xff);
        QTest::newRow("dst invert") << quint32(cDIBSection::DstInvert) << (~0x3C & 0xff);
        QTest::newRow("blackness") << quint32(cDIBSection::Blackness) << 0x00;
        QTest::newRow("whiteness") << quint32(cDIBSection::Whiteness) << 0xff;
        QTest::newRow("unknown keeps pixels") << quint32(0x12345678) << 0x3C;
    }
    void rasterOperations() {
        QFETCH(quint32, rop);
        QFETCH(int, expected);
        QImage destination(5, 3, QImage::Format_RGB32);
        destination.fill(qRgb(0x3C, 0x3C, 0x3C));
        QImage source(5, 3, QImage::Format_RGB32);
        source.fill(qRgb(0x5A, 0x5A, 0x5A));

        cDIBSection dib;
        dib.CreateFromPicture(destination);
        QPainter painter(&source);
        dib.LoadPictureBlt(&painter, 0, 0, -1, -1, rop);
        painter.end();

        const std::uint8_t* bits = dib.DIBSectionBitsPtr();
        for (int r = 0; r < 3; ++r)
            for (int i = 0; i < 15; ++i)
                QCOMPARE(int(bits[r * dib.BytesPerScanLine() + i]), expected);
    }

    void rasterOperationKeepsChannelsApart() {
        // Distinct channels on both sides: a swap of red and blue on either
        // side shows in the result.
        QImage destination(2, 2, QImage::Format_RGB32);
        destination.fill(qRgb(0x3C, 0x00, 0xFF));
        QImage source(2, 2, QImage::Format_RGB32);
        source.fill(qRgb(0x5A, 0xFF, 0x00));
        source.setPixel(0, 0, qRgb(0x01, 0x02, 0x04)); // top left

        cDIBSection dib;
        dib.CreateFromPicture(destination);
        QPainter painter(&source);
        dib.LoadPictureBlt(&painter, 0, 0, -1, -1, cDIBSection::SrcInvert);
        painter.end();

        const std::uint8_t* bottomLeft = dib.DIBSectionBitsPtr();
        QCOMPARE(int(bottomLeft[0]), 0x00 ^ 0xFF);
        QCOMPARE(int(bottomLeft[1]), 0xFF ^ 0x00);
        QCOMPARE(int(bottomLeft[2]), 0x5A ^ 0x3C);
        const std::uint8_t* topLeft = bottomLeft + dib.BytesPerScanLine();
        QCOMPARE(int(topLeft[0]), 0x04 ^ 0xFF);
        QCOMPARE(int(topLeft[1]), 0x02 ^ 0x00);
        QCOMPARE(int(topLeft[2]), 0x01 ^ 0x3C);
    }
};

QTEST_MAIN(tst_DibSection)
#include "tst_dibsection.moc"
