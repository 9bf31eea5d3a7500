#include "CaptureDialogs.h"

#include "CaptureControl.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSlider>
#include <QSpinBox>

namespace {

// A modal dialog with a form and OK/Cancel; the caller fills the form.
struct FormDialog {
    QDialog dialog;
    QFormLayout* form;

    FormDialog(QWidget* parent, const QString& title, const char* objectName)
        : dialog(parent)
        , form(new QFormLayout) {
        dialog.setObjectName(QLatin1String(objectName));
        dialog.setWindowTitle(title);
        dialog.setModal(true);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        auto* outer = new QVBoxLayout(&dialog);
        outer->addLayout(form);
        outer->addWidget(buttons);
    }
    bool run() { return dialog.exec() == QDialog::Accepted; }
};

QString sizeText(QSize s) {
    return QStringLiteral("%1 x %2").arg(s.width()).arg(s.height());
}

} // namespace

void CaptureDialogs::ShowSourceDialog(CaptureControl& capture, QWidget* parent) {
    FormDialog d(parent, QStringLiteral("Video Source"), "SourceDialog");
    const QList<CaptureControl::PictureControl> before = capture.pictureControls();
    for (const CaptureControl::PictureControl& c : before) {
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setObjectName(c.name);
        slider->setRange(0, 100);
        slider->setValue(c.value);
        QObject::connect(slider, &QSlider::valueChanged, &d.dialog,
                         [&capture, name = c.name](int v) { capture.setPictureControl(name, v); });
        d.form->addRow(c.name, slider);
    }
    if (!d.run()) {
        for (const CaptureControl::PictureControl& c : before)
            capture.setPictureControl(c.name, c.value);
    }
}

void CaptureDialogs::ShowFormatDialog(CaptureControl& capture, QWidget* parent) {
    FormDialog d(parent, QStringLiteral("Video Format"), "FormatDialog");
    auto* sizes = new QComboBox;
    sizes->setObjectName(QStringLiteral("FrameSize"));
    for (const QSize s : capture.frameSizes()) {
        sizes->addItem(sizeText(s), s);
        if (s == capture.frameSize())
            sizes->setCurrentIndex(sizes->count() - 1);
    }
    d.form->addRow(QStringLiteral("Frame size"), sizes);
    if (d.run() && sizes->currentIndex() >= 0)
        capture.setFrameSize(sizes->currentData().toSize());
}

void CaptureDialogs::ShowCompressionDialog(CaptureControl& capture, QWidget* parent) {
    FormDialog d(parent, QStringLiteral("Video Compression"), "CompressionDialog");
    auto* codec = new QComboBox;
    codec->setObjectName(QStringLiteral("Codec"));
    codec->addItem(QStringLiteral("Motion JPEG"), int(CaptureControl::VideoCodec::Mjpeg));
    codec->addItem(QStringLiteral("Uncompressed (YUY2)"),
                   int(CaptureControl::VideoCodec::Uncompressed));
    codec->setCurrentIndex(codec->findData(int(capture.videoCodec())));
    auto* quality = new QSpinBox;
    quality->setObjectName(QStringLiteral("Quality"));
    quality->setRange(1, 100);
    quality->setValue(capture.videoQuality());
    // Only JPEG frames are small enough to keep seconds of them.
    auto* preRecord = new QSpinBox;
    preRecord->setObjectName(QStringLiteral("PreRecordSeconds"));
    preRecord->setRange(0, 10);
    preRecord->setSuffix(QStringLiteral(" s"));
    preRecord->setValue(capture.preRecordSeconds());
    const auto enable = [codec, quality, preRecord] {
        const bool mjpeg = codec->currentData().toInt() == int(CaptureControl::VideoCodec::Mjpeg);
        quality->setEnabled(mjpeg);
        preRecord->setEnabled(mjpeg);
    };
    QObject::connect(codec, &QComboBox::currentIndexChanged, quality, enable);
    enable();
    d.form->addRow(QStringLiteral("Codec"), codec);
    d.form->addRow(QStringLiteral("Quality"), quality);
    d.form->addRow(QStringLiteral("Pre-record"), preRecord);
    if (!d.run())
        return;
    capture.setVideoCodec(CaptureControl::VideoCodec(codec->currentData().toInt()));
    capture.setVideoQuality(quality->value());
    capture.setPreRecordSeconds(preRecord->value());
}

void CaptureDialogs::ShowAudioFormatDialog(CaptureControl& capture, QWidget* parent) {
    FormDialog d(parent, QStringLiteral("Audio Format"), "AudioFormatDialog");
    auto* rate = new QComboBox;
    rate->setObjectName(QStringLiteral("Rate"));
    for (const int r : CaptureControl::audioRates())
        rate->addItem(QStringLiteral("%1 Hz").arg(r), r);
    rate->setCurrentIndex(rate->findData(capture.audioRate()));
    auto* channels = new QComboBox;
    channels->setObjectName(QStringLiteral("Channels"));
    channels->addItem(QStringLiteral("Mono"), 1);
    channels->addItem(QStringLiteral("Stereo"), 2);
    channels->setCurrentIndex(channels->findData(capture.audioChannels()));
    d.form->addRow(QStringLiteral("Sample rate"), rate);
    d.form->addRow(QStringLiteral("Channels"), channels);
    if (d.run())
        capture.setAudioFormat(rate->currentData().toInt(), channels->currentData().toInt());
}
