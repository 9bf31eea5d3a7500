// The 24-bit section: stride and row order, blits with each raster
// operation from a picture or a pixmap, and each way creation fails.
#include "cDIBSection.h"

#include <QPainter>
#include <QPixmap>
#include <QTest>

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

// The section's bytes read as blue, green, red, bottom row first: the
// picture they hold, or a null one.
QImage held(const cDIBSection& dib) {
    if (dib.DIBSectionBitsPtr() == nullptr)
        return {};
    return QImage(dib.DIBSectionBitsPtr(), dib.Width(), dib.Height(), dib.BytesPerScanLine(),
                  QImage::Format_BGR888)
        .mirrored()
        .convertToFormat(QImage::Format_RGB32);
}

using ByteOp = int (*)(int s, int d);

} // namespace

Q_DECLARE_METATYPE(ByteOp)

class tst_DibSection final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // From (2, 1) of the source, 3 x 2 pixels onto the top-left of a 4 x 3
    // section that holds `destination`; the rest of the section stays.
    void rasterOperations_data() {
        QTest::addColumn<quint32>("rop");
        QTest::addColumn<ByteOp>("op");
        QTest::addColumn<bool>("fromPixmap");
        const struct {
            const char* name;
            quint32 rop;
            ByteOp op;
            bool fromPixmap = false;
        } rows[] = {
            {"copy", cDIBSection::SrcCopy, [](int s, int) { return s; }},
            {"or", cDIBSection::SrcPaint, [](int s, int d) { return s | d; }},
            {"and", cDIBSection::SrcAnd, [](int s, int d) { return s & d; }},
            {"xor from pixmap", cDIBSection::SrcInvert, [](int s, int d) { return s ^ d; }, true},
            {"erase", cDIBSection::SrcErase, [](int s, int d) { return s & ~d; }},
            {"not copy", cDIBSection::NotSrcCopy, [](int s, int) { return ~s; }},
            {"not erase", cDIBSection::NotSrcErase, [](int s, int d) { return ~(s | d); }},
            {"merge paint", cDIBSection::MergePaint, [](int s, int d) { return ~s | d; }},
            {"dst invert", cDIBSection::DstInvert, [](int, int d) { return ~d; }},
            {"blackness", cDIBSection::Blackness, [](int, int) { return 0; }},
            {"whiteness", cDIBSection::Whiteness, [](int, int) { return 0xff; }},
            {"unknown keeps pixels", 0x12345678, [](int, int d) { return d; }},
        };
        for (const auto& row : rows)
            QTest::newRow(row.name) << row.rop << row.op << row.fromPixmap;
    }
    void rasterOperations() {
        QFETCH(quint32, rop);
        QFETCH(ByteOp, op);
        QFETCH(bool, fromPixmap);
        const QImage picture = pattern(7, 6);
        QImage destination(4, 3, QImage::Format_RGB32);
        destination.fill(qRgb(0x3C, 0x00, 0xFF));
        cDIBSection dib;
        if (fromPixmap)
            dib.CreateFromPicture(QPixmap::fromImage(destination));
        else
            dib.CreateFromPicture(destination);
        QImage image = picture;
        QPixmap pixmap = QPixmap::fromImage(picture);
        QPainter painter;
        QVERIFY(fromPixmap ? painter.begin(&pixmap) : painter.begin(&image));
        dib.LoadPictureBlt(&painter, 2, 1, 3, 2, rop);
        painter.end();
        QImage expected = destination;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const QRgb s = picture.pixel(x + 2, y + 1), d = destination.pixel(x, y);
                expected.setPixel(x, y,
                                  qRgb(op(qRed(s), qRed(d)) & 0xff, op(qGreen(s), qGreen(d)) & 0xff,
                                       op(qBlue(s), qBlue(d)) & 0xff));
            }
        QCOMPARE(held(dib), expected);
    }

    // Cleared, refused and overflowing sizes leave no pixels to draw on;
    // the instance stays usable.
    void creationAndItsFailures() {
        cDIBSection dib;
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QVERIFY(dib.Create(5, 7)); // black throughout
        QImage black(5, 7, QImage::Format_RGB32);
        black.fill(Qt::black);
        QCOMPARE(held(dib), black);
        dib.ClearUp();
        QImage source = pattern(5, 7);
        QPainter painter(&source);
        dib.LoadPictureBlt(&painter);
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        for (const QSize size : {QSize(0, 5), QSize(4, -3)}) {
            QVERIFY(dib.Create(8, 8) && !dib.Create(size.width(), size.height()));
            QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
            QCOMPARE(QSize(dib.Width(), dib.Height()), size);
        }
        QVERIFY(dib.Create(3, 3));
        dib.CreateFromPicture(QImage());
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        // The section handed out is the one the bits pointer addresses.
        QImage section;
        QVERIFY(dib.CreateDIB(nullptr, 3, 2, section));
        QVERIFY(dib.DIBSectionBitsPtr() == section.constBits() && section.bytesPerLine() == 12);
        QVERIFY(!dib.CreateDIB(nullptr, 0, 2, section) && section.isNull());

        // Line length or image size beyond 32 bits throw; the largest width
        // whose line length still fits does not.
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(715'827'882, 0));
        QVERIFY(!dib.Create(715'827'881, 0));
        QCOMPARE(dib.BytesPerScanLine(), 2'147'483'644);
        QVERIFY(dib.Create(4, 4));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(100'000, 10'000));
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(800'000'000, 1));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.BytesPerScanLine());
    }
};

QTEST_MAIN(tst_DibSection)
#include "tst_dibsection.moc"
