// CaptureControl, recording to the capture file.

#include "CaptureControlPrivate.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

void CaptureControl::Private::endCapture(bool finish) {
    if (!recorder)
        return;
    if (slot) {
        std::lock_guard lock(slot->mutex);
        slot->recorder.reset();
    }
    if (preRecorder)
        preRecorder->detach();
    const std::shared_ptr<AviRecorder> ending = std::move(recorder);
    recorder.reset();
    ++captureGeneration;
    if (finish) {
        if (!ending->stop())
            lastError = QStringLiteral("the recording did not finish in time");
    } else {
        ending->abort();
    }
    capturedFrames = ending->framesInFile();
    updatePreRecorder();
}

void CaptureControl::Private::setSlotPreRecorder(std::shared_ptr<PreRecorder> pre) {
    preRecorder = pre;
    if (slot) {
        std::lock_guard lock(slot->mutex);
        slot->preRecorder = std::move(pre);
    }
}

void CaptureControl::Private::updatePreRecorder() {
    if (recorder && preRecorder)
        return;
    // Uncompressed frames are too large to keep seconds of them.
    const bool wanted =
        preRecordArmed && preRecordSeconds > 0 && codec == VideoCodec::Mjpeg && slot;
    const PreRecorder::Settings settings{size.width(), size.height(), fps, quality,
                                         preRecordSeconds};
    if (!wanted) {
        setSlotPreRecorder(nullptr);
        return;
    }
    if (preRecorder && preRecorder->settings() == settings)
        return;
    setSlotPreRecorder(nullptr);
    auto pre = std::make_shared<PreRecorder>(q, [this](const QString& text) {
        // A recording it fed keeps what it has; later ones record without.
        lastError = text;
        if (recorder)
            onRecorderError(captureGeneration, text);
        setSlotPreRecorder(nullptr);
    });
    QString error;
    if (!pre->start(settings, &error)) {
        lastError = error;
        return;
    }
    setSlotPreRecorder(std::move(pre));
}

void CaptureControl::setPreRecordArmed(bool on) {
    d->preRecordArmed = on;
    d->updatePreRecorder();
}

int CaptureControl::preRecordSeconds() const {
    return d->preRecordSeconds;
}

std::int64_t CaptureControl::preRecordBytes() const {
    return d->preRecorder ? d->preRecorder->keptBytes() : 0;
}

void CaptureControl::Private::onRecorderError(int generation, const QString& text) {
    if (generation != captureGeneration || !recorder)
        return;
    outOfSpace = recorder->outOfSpace();
    const QString file = recorder->path();
    // Finished where the pipeline still can (it stopped taking frames
    // before the volume was full); after a write error this only closes.
    endCapture(true);
    if (capturedFrames == 0 && QFileInfo(file).isFile())
        QFile::remove(file);
    lastError = text;
    Q_EMIT q->StatusCallback(StatusCaptureFailed, text);
}

bool CaptureControl::CaptureAudio() const {
    return d->captureAudio && HasAudio();
}

void CaptureControl::setCaptureAudio(bool on) {
    d->captureAudio = on && HasAudio();
}

QString CaptureControl::CaptureFile() const {
    return d->captureFile;
}

void CaptureControl::setCaptureFile(const QString& path) {
    d->captureFile = path;
}

bool CaptureControl::StartCapture() {
    if (d->recorder)
        return true;
    d->outOfSpace = false;
    d->capturedFrames = 0;
    if (d->device < 0 || !d->slot) {
        d->lastError = QStringLiteral("no capture device is open");
        return false;
    }
    if (d->captureFile.isEmpty()) {
        d->lastError = QStringLiteral("no capture file is set");
        return false;
    }
    AviRecorder::Settings settings;
    settings.path = d->captureFile;
    settings.width = d->size.width();
    settings.height = d->size.height();
    settings.framesPerSecond = d->fps;
    settings.mjpeg = d->codec == VideoCodec::Mjpeg;
    settings.encoded = d->preRecorder != nullptr;
    settings.backlogBytes = d->preRecorder ? d->preRecorder->keptBytes() * 2 : 0;
    settings.leadFrames = d->preRecorder ? int(d->preRecorder->keptFrames()) : 0;
    settings.quality = d->quality;
    settings.audioRate = d->audioRate;
    settings.audioChannels = d->audioChannels;
    if (CaptureAudio())
        settings.audio =
            d->isScene(d->device) ? AviRecorder::Audio::Synthetic : AviRecorder::Audio::Microphone;
    const int generation = ++d->captureGeneration;
    auto recorder = std::make_shared<AviRecorder>(
        this, [this, generation](const QString& text) { d->onRecorderError(generation, text); });
    const bool existed = QFileInfo::exists(settings.path);
    QString error;
    if (!recorder->start(settings, &error)) {
        d->lastError = error;
        d->outOfSpace = recorder->outOfSpace();
        if (!existed && QFileInfo(settings.path).isFile())
            QFile::remove(settings.path);
        return false;
    }
    d->recorder = recorder;
    if (d->preRecorder)
        d->preRecorder->attach(recorder, std::size_t(settings.leadFrames));
    std::lock_guard lock(d->slot->mutex);
    d->slot->recorder = std::move(recorder);
    return true;
}

void CaptureControl::StopCapture() {
    d->endCapture(true);
}

bool CaptureControl::IsCapturing() const {
    return d->recorder != nullptr;
}

bool CaptureControl::outOfSpace() const {
    return d->outOfSpace;
}

std::int64_t CaptureControl::capturedFrames() const {
    return d->capturedFrames;
}
