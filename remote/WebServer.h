#pragma once

#include "LiveFrames.h"
#include "LoginLimiter.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class CaptureControl;
class ConnectionPool;
class PublicStuff;
class StatusPanels;
class Surveillance;
class TelnetConsole;
namespace httplib {
class SSLServer;
struct Request;
struct Response;
} // namespace httplib

// The web page's server: HTTPS with Basic authentication, on threads of its
// own so that no client can hold up the window. What it reads of the
// program or asks of it runs on the program's thread (queued, waited for
// with a bound), the live picture comes through LiveFrames, and files are
// served only when they are recordings the program made, in its output
// folder.
class WebServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebServer)

public:
    static constexpr std::size_t MaxConnections = 16;
    static constexpr std::size_t MaxBody = 64 * 1024;
    // A request's headers and body together, as received (TLS included).
    static constexpr std::size_t MaxRequest = MaxBody + 64 * 1024;
    static constexpr std::chrono::seconds RequestTime{10};
    static constexpr std::chrono::seconds ProgramWait{5};
    static constexpr int DefaultPort = 8443;
    // Recordings played at one time, so that playing leaves connections
    // for the live picture and the page.
    static constexpr int MaxPlaying = 4;

    // Adds the row of a deletion to the event log.
    using Log = std::function<void(const QString& first, const QString& second)>;

    WebServer(PublicStuff& stuff, StatusPanels& panels, Surveillance& surveillance,
              CaptureControl& capture, TelnetConsole& console, Log log, QObject* parent = nullptr);
    ~WebServer() override;

    // Serves on `port` of every address with the PEM files given; a server
    // already running is stopped first. False, with the reason in error(),
    // when the files are no key pair or the port cannot be had.
    bool start(int port, const QString& password, const QString& certificatePath,
               const QString& keyPath);
    // Ends every connection and the server's threads; waits for them.
    void stop();
    bool serving() const { return m_thread.joinable(); }
    QString error() const { return m_error; }

    // The window's thread: the newest live picture.
    void offerPicture(const QImage& picture) { m_frames.offer(picture); }
    // Whether a viewer waits for pictures; none are offered otherwise.
    bool wantsPicture() const { return m_frames.wanted(); }
    const LiveFrames& frames() const { return m_frames; }

private:
    template <typename F> auto onProgram(F work) -> std::optional<decltype(work())>;
    void route();
    bool authorised(const httplib::Request& request, httplib::Response& response);
    void status(httplib::Response& response);
    void command(char key, httplib::Response& response);
    void recordings(httplib::Response& response);
    void download(const std::string& name, httplib::Response& response);
    void remove(const std::string& name, httplib::Response& response);
    void thumbnail(const std::string& name, httplib::Response& response);
    void play(const std::string& name, httplib::Response& response);
    void page(const std::string& file, httplib::Response& response);
    // The recording's file opened for reading, with its size and path when
    // asked for; -1 once the answer is given (404 when there is none to
    // serve, 503 when the program did not answer).
    int openRecording(const std::string& name, httplib::Response& response,
                      std::int64_t* bytes = nullptr, QString* path = nullptr);
    void snapshot(httplib::Response& response);
    void live(httplib::Response& response);
    // Waits until `until` or until the server stops: false when it stops.
    bool pause(std::chrono::steady_clock::time_point until);

    // Program's thread only.
    struct Recording {
        QString path;
        QDateTime started;
    };
    std::optional<Recording> resolve(const QString& name) const;

    PublicStuff& m_stuff;
    StatusPanels& m_panels;
    Surveillance& m_surveillance;
    CaptureControl& m_capture;
    TelnetConsole& m_console;
    const Log m_log;
    LiveFrames m_frames;
    LoginLimiter m_limiter;
    std::string m_password;
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_stopMutex;
    std::condition_variable m_stopped;
    std::atomic<int> m_playing{0};
    // The running server's connections, while it runs.
    std::mutex m_poolMutex;
    ConnectionPool* m_pool = nullptr;
    QString m_error;
};
