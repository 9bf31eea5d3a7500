#include "WebServer.h"

#include "AviChunks.h"
#include "CaptureControl.h"
#include "ConnectionPool.h"
#include "DateText.h"
#include "PublicStuff.h"
#include "RecordingName.h"
#include "RecordingPlayback.h"
#include "StatusPanels.h"
#include "Surveillance.h"
#include "TelnetConsole.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>

#include <httplib.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <condition_variable>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const char* const Json = "application/json";
const char* const Text = "text/plain; charset=utf-8";

void sendJson(httplib::Response& response, const QJsonDocument& document, int status = 200) {
    response.status = status;
    response.set_content(document.toJson(QJsonDocument::Compact).toStdString(), Json);
}

void sendText(httplib::Response& response, int status, const char* text) {
    response.status = status;
    response.set_content(std::string(text) + "\n", Text);
}

// Compares without an early end, so the time taken tells nothing of where
// a guess went wrong.
bool samePassword(const std::string& given, const std::string& wanted) {
    unsigned difference = given.size() == wanted.size() ? 0U : 1U;
    for (std::size_t i = 0; i < given.size(); ++i)
        difference |=
            unsigned(static_cast<unsigned char>(given[i]) ^
                     static_cast<unsigned char>(wanted.empty() ? 0 : wanted[i % wanted.size()]));
    return difference == 0;
}

QString iso(const QDateTime& when) {
    return when.toString(Qt::ISODate);
}

// A TLS handshake begins on a connection of the pool's thread: from now on
// it has a deadline.
void handshakeStarted(const SSL* ssl, int where, int) {
    if (where & SSL_CB_HANDSHAKE_START)
        ConnectionPool::watch(SSL_get_fd(ssl));
}

// Every record received is counted against the request's byte limit; its
// length is in the last two bytes of its five-byte header.
void recordSeen(int writing, int, int contentType, const void* bytes, std::size_t length, SSL*,
                void*) {
    if (writing || contentType != SSL3_RT_HEADER || length < 5)
        return;
    const auto* header = static_cast<const unsigned char*>(bytes);
    ConnectionPool::received(5 + ((std::size_t(header[3]) << 8) | header[4]));
}

} // namespace

WebServer::WebServer(PublicStuff& stuff, StatusPanels& panels, Surveillance& surveillance,
                     CaptureControl& capture, TelnetConsole& console, Log log, QObject* parent)
    : QObject(parent)
    , m_stuff(stuff)
    , m_panels(panels)
    , m_surveillance(surveillance)
    , m_capture(capture)
    , m_console(console)
    , m_log(std::move(log)) {}

WebServer::~WebServer() {
    stop();
}

bool WebServer::start(int port, const QString& password, const QString& certificatePath,
                      const QString& keyPath) {
    stop();
    m_error.clear();
    if (password.isEmpty()) {
        m_error = QStringLiteral("no password");
        return false;
    }
    const QByteArray certificate = QFile::encodeName(certificatePath);
    const QByteArray key = QFile::encodeName(keyPath);
    auto server = std::make_unique<httplib::SSLServer>(certificate.constData(), key.constData());
    if (!server->is_valid()) {
        m_error = QStringLiteral("%1 and %2 are no certificate and key of one pair")
                      .arg(certificatePath, keyPath);
        return false;
    }
    SSL_CTX* context = server->ssl_context();
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_info_callback(context, handshakeStarted);
    SSL_CTX_set_msg_callback(context, recordSeen);

    m_password = password.toStdString();
    m_server = std::move(server);
    m_stopping = false;
    m_frames.restart();
    m_server->new_task_queue = [this] {
        return new ConnectionPool(MaxConnections, RequestTime, MaxRequest,
                                  [this](ConnectionPool* pool) {
                                      const std::lock_guard lock(m_poolMutex);
                                      m_pool = pool;
                                  });
    };
    m_server->set_read_timeout(5, 0);
    m_server->set_write_timeout(10, 0);
    m_server->set_keep_alive_timeout(5);
    m_server->set_keep_alive_max_count(100);
    m_server->set_payload_max_length(MaxBody);
    route();
    if (!m_server->bind_to_port("0.0.0.0", port)) {
        m_error = QStringLiteral("port %1 cannot be had").arg(port);
        m_server.reset();
        return false;
    }
    m_thread = std::thread([server = m_server.get()] { server->listen_after_bind(); });
    return true;
}

void WebServer::stop() {
    if (!m_server)
        return;
    {
        const std::lock_guard lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    m_frames.stop();
    {
        const std::lock_guard lock(m_poolMutex);
        if (m_pool)
            m_pool->closeAll();
    }
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
}

template <typename F> auto WebServer::onProgram(F work) -> std::optional<decltype(work())> {
    using Result = decltype(work());
    struct Call {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
    };
    auto call = std::make_shared<Call>();
    // `work` holds nothing of this thread's stack: it may run after the
    // wait below has given up.
    QMetaObject::invokeMethod(
        this,
        [call, work = std::move(work)] {
            Result r = work();
            const std::lock_guard lock(call->mutex);
            call->result = std::move(r);
            call->done.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(call->mutex);
    const auto deadline = std::chrono::steady_clock::now() + ProgramWait;
    // Looks at m_stopping now and then: a program that is shutting down
    // answers no more calls, and its shutdown waits for this thread.
    while (!call->result && !m_stopping && std::chrono::steady_clock::now() < deadline)
        call->done.wait_for(lock, 100ms);
    return std::move(call->result);
}

bool WebServer::authorised(const httplib::Request& request, httplib::Response& response) {
    const auto now = LoginLimiter::Clock::now();
    if (m_limiter.blocked(request.remote_addr, now)) {
        sendText(response, 429, "Too many wrong passwords; try again in a minute.");
        response.set_header("Retry-After", "60");
        return false;
    }
    const std::string header = request.get_header_value("Authorization");
    const std::string scheme = "Basic ";
    if (header.size() > scheme.size() &&
        std::equal(scheme.begin(), scheme.end(), header.begin(),
                   [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
        const auto decoded =
            QByteArray::fromBase64Encoding(QByteArray::fromStdString(header.substr(scheme.size())),
                                           QByteArray::AbortOnBase64DecodingErrors);
        // Any user name; the password follows the first colon.
        const qsizetype colon = decoded ? decoded.decoded.indexOf(':') : -1;
        if (colon >= 0) {
            if (samePassword(decoded.decoded.mid(colon + 1).toStdString(), m_password))
                return true;
            m_limiter.failed(request.remote_addr, now);
        }
    }
    sendText(response, 401, "The password is needed.");
    response.set_header("WWW-Authenticate", "Basic realm=\"Sentorix\", charset=\"UTF-8\"");
    return false;
}

void WebServer::route() {
    httplib::SSLServer& s = *m_server;
    s.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        if (!authorised(request, response))
            return httplib::Server::HandlerResponse::Handled;
        // A page of another site may make the browser send a request with
        // the password it remembers; one that would change anything is
        // refused unless it comes from this page.
        if (request.method != "GET" && request.method != "HEAD" && request.has_header("Origin")) {
            const std::string own = "https://" + request.get_header_value("Host");
            if (request.get_header_value("Origin") != own) {
                sendText(response, 403, "Refused: the request comes from another site.");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        // A known client may take as long as its answer needs; a request
        // that sends a body still has the deadline for it.
        if (request.method == "GET" || request.method == "HEAD")
            ConnectionPool::unlimited();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.set_post_routing_handler([](const httplib::Request&, httplib::Response& response) {
        // The page and its data are the owner's: not kept by caches, not
        // shown inside another site's frame, never taken for another type
        // than they say; the page runs only its own scripts.
        response.set_header("Content-Security-Policy",
                            "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; "
                            "base-uri 'none'; form-action 'self'");
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_header("X-Frame-Options", "DENY");
        response.set_header("Referrer-Policy", "no-referrer");
        if (!response.has_header("Cache-Control"))
            response.set_header("Cache-Control", "no-store");
        // A streamed answer sets the deadline again when it is sent (its
        // releaser); a whole one is small and on its way.
        if (!response.content_provider_)
            ConnectionPool::expectRequest();
    });
    s.Get("/api/status", [this](const httplib::Request&, httplib::Response& r) { status(r); });
    // A command needs no body; one that is sent anyway (up to MaxBody) is
    // read and dropped, and a POST without a length is taken as empty
    // rather than refused, as scripts send it.
    const auto post = [this, &s](const char* path, char key) {
        s.Post(path, [this, key](const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& read) {
            if (request.has_header("Content-Length") ||
                request.get_header_value("Transfer-Encoding") == "chunked")
                read([](const char*, std::size_t) { return true; });
            command(key, response);
        });
    };
    post("/api/arm", '1');
    post("/api/disarm", '2');
    post("/api/record", '3');
    s.Get("/api/recordings",
          [this](const httplib::Request&, httplib::Response& r) { recordings(r); });
    s.Get(R"(/recordings/([^/]+))",
          [this](const httplib::Request& q, httplib::Response& r) { download(q.matches[1], r); });
    s.Delete(R"(/recordings/([^/]+))",
             [this](const httplib::Request& q, httplib::Response& r) { remove(q.matches[1], r); });
    s.Get(R"(/thumb/([^/]+)\.jpg)",
          [this](const httplib::Request& q, httplib::Response& r) { thumbnail(q.matches[1], r); });
    s.Get(R"(/play/([^/]+))",
          [this](const httplib::Request& q, httplib::Response& r) { play(q.matches[1], r); });
    for (const char* file : {"/", "/page.css", "/page.js"})
        s.Get(file, [this, file](const httplib::Request&, httplib::Response& r) { page(file, r); });
    s.Get("/snapshot.jpg", [this](const httplib::Request&, httplib::Response& r) { snapshot(r); });
    s.Get("/live.mjpg", [this](const httplib::Request&, httplib::Response& r) { live(r); });
    s.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty() && response.status == 404)
            sendText(response, 404, "Not found.");
    });
}

void WebServer::status(httplib::Response& response) {
    const auto document = onProgram([this] {
        QJsonArray texts;
        for (int p = 1; p <= 5; ++p)
            texts.append(m_panels.text(Panel(p)));
        return QJsonDocument(
            QJsonObject{{QStringLiteral("state"), m_panels.text(Panel::State).trimmed()},
                        {QStringLiteral("panels"), texts},
                        {QStringLiteral("deviation"), double(m_stuff.LastDeviation)},
                        {QStringLiteral("threshold"), double(m_stuff.Threshold)},
                        {QStringLiteral("armed"), m_surveillance.SurveillanceOn()},
                        {QStringLiteral("recording"), m_capture.IsCapturing()},
                        // Since arming, as the statistics window counts them.
                        {QStringLiteral("examined"), m_stuff.FrameCount},
                        {QStringLiteral("skipped"), qint64(m_stuff.FramesSkipped)}});
    });
    if (!document)
        return sendText(response, 503, "The program does not answer.");
    sendJson(response, *document);
}

void WebServer::command(char key, httplib::Response& response) {
    const auto answer =
        onProgram([this, key] { return QString::fromLatin1(m_console.command(key)); });
    if (!answer)
        return sendText(response, 503, "The program does not answer.");
    sendJson(response, QJsonDocument(QJsonObject{{QStringLiteral("reply"), *answer}}));
}

std::optional<WebServer::Recording> WebServer::resolve(const QString& name) const {
    // Only a plain name the program makes, of a plain file directly in the
    // output folder; a link is never followed, wherever it points.
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name.startsWith(u'.'))
        return std::nullopt;
    const std::optional<QDateTime> started = RecordingName::startOf(name);
    if (!started || m_stuff.VidPath.isEmpty())
        return std::nullopt;
    const QFileInfo folder(m_stuff.VidPath);
    const QFileInfo file(QDir(m_stuff.VidPath).filePath(name));
    if (!folder.isDir() || file.isSymLink() || !file.isFile() ||
        file.canonicalPath() != folder.canonicalFilePath())
        return std::nullopt;
    return Recording{file.absoluteFilePath(), *started};
}

void WebServer::recordings(httplib::Response& response) {
    const auto document = onProgram([this] {
        struct Row {
            QDateTime started;
            QJsonObject json;
        };
        std::vector<Row> rows;
        if (!m_stuff.VidPath.isEmpty())
            for (const QFileInfo& info :
                 QDir(m_stuff.VidPath)
                     .entryInfoList({QStringLiteral("*.avi")}, QDir::Files | QDir::NoSymLinks)) {
                const std::optional<Recording> r = resolve(info.fileName());
                if (!r)
                    continue;
                QJsonObject json;
                json.insert(QStringLiteral("name"), info.fileName());
                json.insert(QStringLiteral("start"), iso(r->started));
                json.insert(QStringLiteral("end"), iso(info.lastModified()));
                json.insert(QStringLiteral("bytes"), qint64(info.size()));
                rows.push_back(Row{r->started, json});
            }
        std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
            return a.started != b.started ? a.started > b.started
                                          : a.json[QStringLiteral("name")].toString() >
                                                b.json[QStringLiteral("name")].toString();
        });
        QJsonArray list;
        for (const Row& row : rows)
            list.append(row.json);
        return QJsonDocument(list);
    });
    if (!document)
        return sendText(response, 503, "The program does not answer.");
    sendJson(response, *document);
}

int WebServer::openRecording(const std::string& name, httplib::Response& response,
                             std::int64_t* bytes, QString* path) {
    const auto found = onProgram([this, name = QString::fromStdString(name)] {
        const std::optional<Recording> r = resolve(name);
        return r ? r->path : QString();
    });
    if (!found) {
        sendText(response, 503, "The program does not answer.");
        return -1;
    }
    // Opened without following a link that may have been put in its place
    // since, and only as a regular file.
    const int fd = found->isEmpty() ? -1
                                    : ::open(QFile::encodeName(*found).constData(),
                                             O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat seen {};
    if (fd < 0 || ::fstat(fd, &seen) != 0 || !S_ISREG(seen.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        sendText(response, 404, "Not found.");
        return -1;
    }
    if (bytes)
        *bytes = seen.st_size;
    if (path)
        *path = *found;
    return fd;
}

void WebServer::download(const std::string& name, httplib::Response& response) {
    std::int64_t bytes = 0;
    QString path;
    const int fd = openRecording(name, response, &bytes, &path);
    if (fd < 0)
        return;
    auto file = std::make_shared<QFile>();
    file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    response.set_header("Content-Disposition", "attachment; filename=\"" +
                                                   QFileInfo(path).fileName().toStdString() + "\"");
    response.set_content_provider(
        std::size_t(bytes), "video/x-msvideo",
        [this, file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            char buffer[64 * 1024];
            if (m_stopping || !file->seek(qint64(offset)))
                return false;
            const qint64 got = file->read(buffer, qint64(std::min(length, sizeof buffer)));
            return got > 0 && sink.write(buffer, std::size_t(got));
        },
        [](bool) { ConnectionPool::expectRequest(); });
}

void WebServer::remove(const std::string& name, httplib::Response& response) {
    const auto removed = onProgram([this, name = QString::fromStdString(name)] {
        const std::optional<Recording> r = resolve(name);
        if (!r)
            return 404;
        // The recording being written stays.
        if (m_capture.IsCapturing() &&
            QFileInfo(m_surveillance.OutputFile()).absoluteFilePath() == r->path)
            return 409;
        if (!QFile::remove(r->path))
            return 500;
        m_stuff.WriteTrace(QStringLiteral("Web"), QStringLiteral("Deleted: ") + r->path);
        m_log(DateText::general(r->started),
              QStringLiteral("Deleted on the web page: ") + QFileInfo(r->path).fileName());
        return 204;
    });
    if (!removed)
        return sendText(response, 503, "The program does not answer.");
    switch (*removed) {
    case 204:
        response.status = 204;
        break;
    case 409:
        sendText(response, 409, "The recording is still being written.");
        break;
    case 500:
        sendText(response, 500, "The file could not be deleted.");
        break;
    default:
        sendText(response, 404, "Not found.");
        break;
    }
}

void WebServer::thumbnail(const std::string& name, httplib::Response& response) {
    const int fd = openRecording(name, response);
    if (fd < 0)
        return;
    // The first Motion JPEG frame is a JPEG picture as it is.
    RecordingPlayback playback(fd);
    const QByteArray jpeg =
        playback.opened() == RecordingPlayback::Opened::Playable ? playback.next() : QByteArray();
    if (jpeg.isEmpty())
        return sendText(response, 404, "No picture in it.");
    // A first frame does not change once it is written.
    response.set_header("Cache-Control", "private, max-age=600");
    response.set_content(jpeg.constData(), std::size_t(jpeg.size()), "image/jpeg");
}

void WebServer::play(const std::string& name, httplib::Response& response) {
    const int fd = openRecording(name, response);
    if (fd < 0)
        return;
    struct Playing {
        RecordingPlayback playback;
        std::atomic<int>& count;
        std::chrono::steady_clock::time_point due = std::chrono::steady_clock::now();
        Playing(int fd, std::atomic<int>& playing)
            : playback(fd)
            , count(playing) {
            ++count;
        }
        ~Playing() { --count; }
        Q_DISABLE_COPY_MOVE(Playing)
    };
    auto playing = std::make_shared<Playing>(fd, m_playing);
    if (m_playing > MaxPlaying)
        return sendText(response, 503, "Too many recordings are playing; try again later.");
    switch (playing->playback.opened()) {
    case RecordingPlayback::Opened::Playable:
        break;
    case RecordingPlayback::Opened::NotMotionJpeg:
        return sendText(response, 415, "The recording is not in Motion JPEG.");
    case RecordingPlayback::Opened::Unreadable:
        return sendText(response, 422, "The recording cannot be read.");
    }
    response.set_content_provider(
        "multipart/x-mixed-replace; boundary=frame",
        [this, playing](std::size_t, httplib::DataSink& sink) {
            if (!pause(playing->due))
                return false;
            const QByteArray jpeg = playing->playback.next();
            if (jpeg.isEmpty()) { // the end, or damage: what came so far stands
                sink.write("--frame--\r\n", 11);
                sink.done();
                return true;
            }
            // A viewer that fell behind goes on from now rather than being
            // sent the missed frames at once.
            playing->due = std::max(playing->due + playing->playback.frameTime(),
                                    std::chrono::steady_clock::now());
            const std::string head = "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                     std::to_string(jpeg.size()) + "\r\n\r\n";
            return sink.write(head.data(), head.size()) &&
                   sink.write(jpeg.constData(), std::size_t(jpeg.size())) && sink.write("\r\n", 2);
        },
        [](bool) { ConnectionPool::expectRequest(); });
}

void WebServer::page(const std::string& file, httplib::Response& response) {
    // The page is built into the program, so it always matches its server.
    const QString name =
        file == "/" ? QStringLiteral("index.html") : QString::fromStdString(file).mid(1);
    QFile resource(QStringLiteral(":/page/") + name);
    if (!resource.open(QIODevice::ReadOnly))
        return sendText(response, 404, "Not found.");
    const QByteArray bytes = resource.readAll();
    const char* type = name.endsWith(QStringLiteral(".css"))  ? "text/css; charset=utf-8"
                       : name.endsWith(QStringLiteral(".js")) ? "text/javascript; charset=utf-8"
                                                              : "text/html; charset=utf-8";
    response.set_content(bytes.constData(), std::size_t(bytes.size()), type);
}

bool WebServer::pause(std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(m_stopMutex);
    return !m_stopped.wait_until(lock, until, [this] { return m_stopping.load(); });
}

void WebServer::snapshot(httplib::Response& response) {
    const LiveFrames::Jpeg jpeg = m_frames.next(0, ProgramWait);
    if (!jpeg.data)
        return sendText(response, 503, "No picture yet.");
    response.set_header("Cache-Control", "no-store");
    response.set_content(jpeg.data->constData(), std::size_t(jpeg.data->size()), "image/jpeg");
}

void WebServer::live(httplib::Response& response) {
    response.set_header("Cache-Control", "no-store");
    auto last = std::make_shared<std::uint64_t>(0);
    response.set_content_provider(
        "multipart/x-mixed-replace; boundary=frame",
        [this, last](std::size_t, httplib::DataSink& sink) {
            if (m_stopping)
                return false;
            const LiveFrames::Jpeg jpeg = m_frames.next(*last, 2s);
            if (!jpeg.data) // no picture for a while: is anybody still there?
                return !m_stopping && sink.is_writable();
            *last = jpeg.number;
            const std::string head = "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                     std::to_string(jpeg.data->size()) + "\r\n\r\n";
            return sink.write(head.data(), head.size()) &&
                   sink.write(jpeg.data->constData(), std::size_t(jpeg.data->size())) &&
                   sink.write("\r\n", 2);
        },
        [](bool) { ConnectionPool::expectRequest(); });
}
