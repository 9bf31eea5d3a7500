#pragma once

#include <QObject>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

class QTemporaryDir;

// The recorder's side of the helper process that receives and decodes one
// network camera or video file (sentorix-source). It starts the helper,
// waits for its first picture, watches it while it runs and says why it
// ended: a crash, a kill, a hang, a memory overrun or the source's own
// failure all end as one `ended` signal, after which the helper is gone.
class SourceProcess final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceProcess)

public:
    struct Settings {
        QString url;
        int framesPerSecond = 5;
        QSize size;         // empty: the source's own size
        bool frames = true; // false: only the first picture is waited for
    };

    // A helper that delivers nothing for this long is ended.
    static constexpr std::chrono::seconds hangTimeout{10};
    // The memory it allocates for itself (not the shared frames), as
    // resident and, where that can be limited, as its data size.
    static constexpr int memoryLimitMegabytes = 1024;

    explicit SourceProcess(QObject* parent = nullptr);
    ~SourceProcess() override;

    // Starts the helper and returns at once: `ready` follows its first
    // picture, or `ended` says why none came within `timeout`. False, with
    // error() saying why and no signal, when it cannot even be started.
    bool begin(const Settings& settings, std::chrono::milliseconds timeout);
    // begin() and a wait for the outcome; false, with error() saying why,
    // when no picture came.
    bool start(const Settings& settings, std::chrono::milliseconds timeout);
    QSize size() const { return size_; }
    QString socketPath() const;
    QString error() const { return error_; }
    // The source refused us for lack of valid credentials.
    bool refused() const { return refused_; }
    // The time a frame last arrived, set from any thread; the watch ends a
    // helper whose frames stop.
    const std::shared_ptr<std::atomic<std::int64_t>>& heartbeat() const { return heartbeat_; }
    // The helper has ended; error() says why.
    bool isOver() const { return over_; }

    static QString helperPath();
    // The clock the heartbeat is stamped with.
    static std::int64_t nowMs();

Q_SIGNALS:
    // The first picture's size is known: size() and socketPath() are valid.
    void ready();
    void ended(const QString& why);

private:
    void readLines();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void watch();
    void end(const QString& why);
    void giveUpWaiting();
    // The helper's own resident memory in kilobytes, without the shared
    // frames; 0 when it is not running.
    std::int64_t privateKilobytes() const;

    QProcess process_;
    std::unique_ptr<QTemporaryDir> socketDir_;
    QTimer watch_;
    QTimer firstPicture_;
    std::chrono::milliseconds timeout_{0};
    QSize size_;
    QString error_;
    QString endingReason_; // why we ended it ourselves
    bool refused_ = false;
    bool over_ = false;
    std::shared_ptr<std::atomic<std::int64_t>> heartbeat_ =
        std::make_shared<std::atomic<std::int64_t>>(0);
};
