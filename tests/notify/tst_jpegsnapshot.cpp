// The snapshot "StillShot.dib" converted to "StillShot.jpg", decoded back
// with libjpeg-turbo; pictures that cannot be loaded change nothing.
#include "DibFile.h"
#include "JpegLibrary.h"
#include "JpegProbe.h"
#include "JpegSnapshot.h"
#include "TestData.h"
#include "cDIBSection.h"

#include <QTemporaryDir>
#include <QTest>

using TestData::readFile;
using TestData::writeFile;

namespace {

// The picture as the capture control writes a snapshot.
bool writeDib(const QString& path, const QImage& picture) {
    cDIBSection dib;
    dib.CreateFromPicture(picture);
    return DibFile::write(path, dib.DIBSectionBitsPtr(), dib.Width(), dib.Height(),
                          std::size_t(dib.BytesPerScanLine()));
}

} // namespace

class tst_JpegSnapshot final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_vidPath = m_dir.path() + u'/';
    const QString m_dibFile = m_vidPath + "StillShot.dib";
    const QString m_jpgFile = m_vidPath + "StillShot.jpg";
    JpegLibrary m_library;
    QStringList m_trace;
    JpegSnapshot m_snapshot{m_library, [this](const QString& where, const QString& text) {
                                m_trace << where + " - " + text;
                            }};

private Q_SLOTS:
    void init() {
        QFile::remove(m_dibFile);
        QFile::remove(m_jpgFile);
        m_trace.clear();
    }

    void contentDecidesTheFormat_data() {
        QTest::addColumn<QByteArray>("format"); // empty: the capture control's own
        QTest::addColumn<int>("imageFormat");
        QTest::newRow("24-bit DIB, odd width") << QByteArray() << int(QImage::Format_RGB32);
        QTest::newRow("8-bit bmp") << QByteArray("BMP") << int(QImage::Format_Indexed8);
        QTest::newRow("1-bit bmp") << QByteArray("BMP") << int(QImage::Format_Mono);
        QTest::newRow("32-bit bmp") << QByteArray("BMP") << int(QImage::Format_ARGB32);
        QTest::newRow("png") << QByteArray("PNG") << int(QImage::Format_RGB32);
    }
    void contentDecidesTheFormat() {
        QFETCH(QByteArray, format);
        QFETCH(int, imageFormat);
        // Undithered, so the error left is that of the encoding.
        const QImage picture = TestData::gradient(161, 121).convertToFormat(
            QImage::Format(imageFormat), Qt::ThresholdDither | Qt::AvoidDither);
        QVERIFY(format.isEmpty() ? writeDib(m_dibFile, picture)
                                 : picture.save(m_dibFile, format.constData()));
        QVERIFY(m_snapshot.SaveJPGPic(m_dibFile, m_vidPath));
        QCOMPARE(m_snapshot.SnapshotJpgFile, m_jpgFile);
        QCOMPARE(m_snapshot.Picture1.size(), picture.size());
        QCOMPARE(m_trace, QStringList({"SaveJPGPic - Step 1", "SaveJPGPic - Step 2",
                                       "SaveJPGPic - Step 3"}));

        const JpegProbe::Result jpeg = JpegProbe::read(m_jpgFile);
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QVERIFY(jpeg.luminance == JpegProbe::standardTable(false, 90));
        QVERIFY(jpeg.chrominance == JpegProbe::standardTable(true, 90));
        const double error = JpegProbe::meanError(jpeg.pixels, picture);
        QVERIFY2(error < 5.0, qPrintable(QString::number(error)));
        QVERIFY(QFile::exists(m_dibFile));
    }

    void unloadablePictureChangesNothing_data() {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("text") << QByteArray("this is not a picture at all, just some words");
        QTest::newRow("bitmap magic, garbage after") << "BM" + QByteArray(60, '\x7f');
        QVERIFY(writeDib(m_dibFile, TestData::gradient(4, 4)));
        QTest::newRow("cut in the info header") << readFile(m_dibFile).left(20);
    }
    void unloadablePictureChangesNothing() {
        QFETCH(QByteArray, content);
        QVERIFY(content.isNull() || writeFile(m_dibFile, content));
        QVERIFY(writeFile(m_jpgFile, "previous jpeg"));
        const QImage earlier = TestData::gradient(3, 3);
        m_snapshot.Picture1 = earlier;
        m_snapshot.SnapshotJpgFile = "/earlier/StillShot.jpg";
        QVERIFY(!m_snapshot.SaveJPGPic(m_dibFile, m_vidPath));
        QCOMPARE(m_snapshot.SnapshotJpgFile, QStringLiteral("/earlier/StillShot.jpg"));
        QCOMPARE(m_snapshot.Picture1, earlier);
        QCOMPARE(m_trace, QStringList{"SaveJPGPic - Step 1"});
        QCOMPARE(readFile(m_jpgFile), QByteArray("previous jpeg"));
    }

    void unwritableJpegIsStillNamed() {
        // The mail needs the name of what was meant.
        QVERIFY(writeDib(m_dibFile, TestData::gradient(16, 16)));
        const QString elsewhere = m_vidPath + "no-such-dir/";
        QVERIFY(!m_snapshot.SaveJPGPic(m_dibFile, elsewhere));
        QCOMPARE(m_snapshot.SnapshotJpgFile, elsewhere + "StillShot.jpg");
    }
};

QTEST_GUILESS_MAIN(tst_JpegSnapshot)
#include "tst_jpegsnapshot.moc"
