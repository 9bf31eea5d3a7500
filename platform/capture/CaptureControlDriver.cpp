// CaptureControl, the driver's settings: frame size, codec, audio format, picture controls.

#include "CaptureControlPrivate.h"

#include "SettingsStore.h"

#include <algorithm>

using namespace capturecontrol;

namespace {
const QString driverSection = QStringLiteral("CAPTURE");
constexpr int maxPreRecordSeconds = 10;

// videobalance property and its range for each picture control.
struct BalanceProperty {
    const char* property;
    double minimum;
    double maximum;
};
BalanceProperty balancePropertyOf(const QString& name) {
    if (name == QLatin1String("Brightness"))
        return {"brightness", -1.0, 1.0};
    if (name == QLatin1String("Hue"))
        return {"hue", -1.0, 1.0};
    if (name == QLatin1String("Saturation"))
        return {"saturation", 0.0, 2.0};
    return {"contrast", 0.0, 2.0};
}
} // namespace

void CaptureControl::Private::applyPictureControls() {
    if (!pipeline)
        return;
    GstElementPtr balance = byName(pipeline.get(), "balance");
    if (!balance)
        return;
    for (const PictureControl& c : controls) {
        const BalanceProperty p = balancePropertyOf(c.name);
        // 50 is the neutral middle of every control.
        const double value = p.minimum + (p.maximum - p.minimum) * c.value / 100.0;
        g_object_set(balance.get(), p.property, value, nullptr);
    }
}

void CaptureControl::Private::saveDriverSetting(const QString& key, int value) {
    if (driverSettings)
        driverSettings->write(driverSection, key, QString::number(value));
}

int CaptureControl::Private::storedDriverSetting(const QString& key, int fallback) const {
    if (!driverSettings)
        return fallback;
    bool ok = false;
    const int value = driverSettings->read(driverSection, key, QString()).trimmed().toInt(&ok);
    return ok ? value : fallback;
}

void CaptureControl::setFrameSize(QSize size) {
    if (IsCapturing() || size.width() <= 0 || size.height() <= 0)
        return;
    d->saveDriverSetting(QStringLiteral("FrameWidth"), size.width());
    d->saveDriverSetting(QStringLiteral("FrameHeight"), size.height());
    d->applyFrameSize(size);
}

void CaptureControl::Private::applyFrameSize(QSize wanted) {
    requestedSize = wanted;
    sizeChosen = true;
    if (device < 0) {
        size = wanted;
        return;
    }
    const QSize fitted = fitSize(device, wanted);
    if (fitted == size)
        return;
    size = fitted;
    restart();
}

QList<CaptureControl::PictureControl> CaptureControl::pictureControls() const {
    return d->controls;
}

void CaptureControl::setPictureControl(const QString& name, int value) {
    for (PictureControl& c : d->controls) {
        if (c.name != name)
            continue;
        c.value = std::clamp(value, 0, 100);
        d->saveDriverSetting(name, c.value);
        d->applyPictureControls();
    }
}

QList<QSize> CaptureControl::frameSizes() const {
    const std::vector<QSize> sizes = d->sizesOf(d->device);
    return QList<QSize>(sizes.begin(), sizes.end());
}

CaptureControl::VideoCodec CaptureControl::videoCodec() const {
    return d->codec;
}

void CaptureControl::setVideoCodec(VideoCodec codec) {
    d->codec = codec == VideoCodec::Uncompressed ? codec : VideoCodec::Mjpeg;
    d->saveDriverSetting(QStringLiteral("Codec"), int(d->codec));
    d->updatePreRecorder();
}

int CaptureControl::videoQuality() const {
    return d->quality;
}

void CaptureControl::setVideoQuality(int quality) {
    d->quality = std::clamp(quality, 1, 100);
    d->saveDriverSetting(QStringLiteral("Quality"), d->quality);
    d->updatePreRecorder();
}

void CaptureControl::setPreRecordSeconds(int seconds) {
    d->preRecordSeconds = std::clamp(seconds, 0, maxPreRecordSeconds);
    d->saveDriverSetting(QStringLiteral("PreRecordSeconds"), d->preRecordSeconds);
    d->updatePreRecorder();
}

int CaptureControl::audioRate() const {
    return d->audioRate;
}

int CaptureControl::audioChannels() const {
    return d->audioChannels;
}

QList<int> CaptureControl::audioRates() {
    return {8000, 11025, 16000, 22050, 44100, 48000};
}

void CaptureControl::setAudioFormat(int samplesPerSecond, int channels) {
    if (audioRates().contains(samplesPerSecond))
        d->audioRate = samplesPerSecond;
    d->audioChannels = channels == 2 ? 2 : 1;
    d->saveDriverSetting(QStringLiteral("AudioRate"), d->audioRate);
    d->saveDriverSetting(QStringLiteral("AudioChannels"), d->audioChannels);
}

void CaptureControl::setDriverSettings(SettingsStore* store) {
    d->driverSettings = store;
    // The sources are read once, like the cameras.
    d->sources = storedSources();
    for (PictureControl& c : d->controls)
        c.value = std::clamp(d->storedDriverSetting(c.name, c.defaultValue), 0, 100);
    d->codec = d->storedDriverSetting(QStringLiteral("Codec"), 1) == 2 ? VideoCodec::Uncompressed
                                                                       : VideoCodec::Mjpeg;
    d->quality = std::clamp(d->storedDriverSetting(QStringLiteral("Quality"), 85), 1, 100);
    const int rate = d->storedDriverSetting(QStringLiteral("AudioRate"), 22050);
    d->audioRate = audioRates().contains(rate) ? rate : 22050;
    d->audioChannels = d->storedDriverSetting(QStringLiteral("AudioChannels"), 1) == 2 ? 2 : 1;
    d->preRecordSeconds = std::clamp(d->storedDriverSetting(QStringLiteral("PreRecordSeconds"), 2),
                                     0, maxPreRecordSeconds);
    const int w = d->storedDriverSetting(QStringLiteral("FrameWidth"), 0);
    const int h = d->storedDriverSetting(QStringLiteral("FrameHeight"), 0);
    // Applied without writing back what was just read.
    if (w > 0 && h > 0 && !IsCapturing())
        d->applyFrameSize(QSize(w, h));
    d->applyPictureControls();
    d->updatePreRecorder();
}

QList<SourceList::Source> CaptureControl::storedSources() const {
    return d->driverSettings ? SourceList::read(*d->driverSettings) : QList<SourceList::Source>{};
}

bool CaptureControl::storeSources(const QList<SourceList::Source>& sources) {
    return d->driverSettings && SourceList::write(*d->driverSettings, sources);
}

bool CaptureControl::storeCredentials(int n, const QString& user, const QString& password) {
    if (!d->isSource(n))
        return false;
    QString& url = d->sources[n - d->cameraCount()].url;
    const QString address = SourceList::masked(url);
    url = SourceList::withLogin(address, user, password);
    // The stored list may have changed since it was read: its entries for
    // this address get the credentials.
    QList<SourceList::Source> stored = storedSources();
    for (SourceList::Source& s : stored)
        if (SourceList::masked(s.url) == address)
            s.url = url;
    return storeSources(stored);
}
