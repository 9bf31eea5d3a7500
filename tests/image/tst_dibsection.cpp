// The 24-bit section: stride and row order, blits with each raster
// operation from a picture or a pixmap, and each way creation fails.
#include "TestData.h"
#include "cDIBSection.h"

#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <stdexcept>
#include <tuple>

namespace {

// The picture the section's bytes hold (BGR, bottom row first), or a null one.
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
    // From (2, 1) of a pixmap, 3 x 2 pixels onto the top-left of a 4 x 3
    // section made from another; the rest of the section stays.
    void rasterOperations_data() {
        QTest::addColumn<quint32>("rop");
        QTest::addColumn<ByteOp>("op");
        for (const auto& [name, rop, op] :
             std::initializer_list<std::tuple<const char*, quint32, ByteOp>>{
                 {"copy", cDIBSection::SrcCopy, [](int s, int) { return s; }},
                 {"or", cDIBSection::SrcPaint, [](int s, int d) { return s | d; }},
                 {"and", cDIBSection::SrcAnd, [](int s, int d) { return s & d; }},
                 {"xor", cDIBSection::SrcInvert, [](int s, int d) { return s ^ d; }},
                 {"erase", cDIBSection::SrcErase, [](int s, int d) { return s & ~d; }},
                 {"not copy", cDIBSection::NotSrcCopy, [](int s, int) { return ~s; }},
                 {"not erase", cDIBSection::NotSrcErase, [](int s, int d) { return ~(s | d); }},
                 {"merge paint", cDIBSection::MergePaint, [](int s, int d) { return ~s | d; }},
                 {"dst invert", cDIBSection::DstInvert, [](int, int d) { return ~d; }},
                 {"blackness", cDIBSection::Blackness, [](int, int) { return 0; }},
                 {"whiteness", cDIBSection::Whiteness, [](int, int) { return 0xff; }},
                 {"unknown keeps pixels", 0x12345678, [](int, int d) { return d; }}})
            QTest::newRow(name) << rop << op;
    }
    void rasterOperations() {
        QFETCH(quint32, rop);
        QFETCH(ByteOp, op);
        // Red tells the columns apart, green the rows; no two channels alike.
        const QImage picture = TestData::gradient(7, 6);
        QImage destination(4, 3, QImage::Format_RGB32);
        destination.fill(qRgb(0x3C, 0x00, 0xFF));
        cDIBSection dib;
        dib.CreateFromPicture(QPixmap::fromImage(destination));
        QPixmap pixmap = QPixmap::fromImage(picture);
        QPainter painter(&pixmap);
        dib.LoadPictureBlt(&painter, 2, 1, 3, 2, rop);
        QImage expected = destination;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const QRgb s = picture.pixel(x + 2, y + 1);
                expected.setPixel(x, y,
                                  qRgb(op(qRed(s), 0x3C) & 0xff, op(qGreen(s), 0x00) & 0xff,
                                       op(qBlue(s), 0xFF) & 0xff));
            }
        QCOMPARE(held(dib), expected);
    }

    // Cleared, refused and overflowing sizes leave no pixels to draw on;
    // the instance stays usable.
    void creationAndItsFailures() {
        cDIBSection dib;
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr && dib.Create(5, 7)); // black throughout
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(dib.DIBSectionBitsPtr()), 7 * 16),
                 QByteArray(7 * 16, '\0'));
        dib.ClearUp();
        QImage source = TestData::gradient(5, 7);
        QPainter painter(&source);
        dib.LoadPictureBlt(&painter);
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        for (const QSize size : {QSize(0, 5), QSize(4, -3)}) {
            QVERIFY(dib.Create(8, 8) && !dib.Create(size.width(), size.height()) &&
                    dib.DIBSectionBitsPtr() == nullptr);
            QCOMPARE(QSize(dib.Width(), dib.Height()), size);
        }
        QVERIFY(dib.Create(3, 3));
        dib.CreateFromPicture(QImage());
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        // The section handed out is the one the bits pointer addresses.
        QImage section;
        QVERIFY(dib.CreateDIB(nullptr, 3, 2, section));
        QVERIFY(dib.DIBSectionBitsPtr() == section.constBits() && section.bytesPerLine() == 12);
        QVERIFY(!dib.CreateDIB(nullptr, 0, 2, section) && section.isNull() &&
                dib.DIBSectionBitsPtr() == nullptr);

        // Line length or image size beyond 32 bits throw; the largest width
        // whose line length still fits does not.
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(715'827'882, 0));
        QVERIFY(!dib.Create(715'827'881, 0) && dib.BytesPerScanLine() == 2'147'483'644);
        QVERIFY(dib.Create(4, 4));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(100'000, 10'000));
        QVERIFY(dib.DIBSectionBitsPtr() == nullptr);
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.Create(800'000'000, 1));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, dib.BytesPerScanLine());
    }
};

QTEST_MAIN(tst_DibSection)
#include "tst_dibsection.moc"
