#include "SmtpControl.h"

#include <curl/curl.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>
#include <QUuid>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// How long a finished mail's worker waits for the reply to QUIT.
constexpr long QuitReplySeconds = 5;

struct CurlFree {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
using CurlEasy = std::unique_ptr<CURL, CurlFree>;
// CURL and CURLM are the same type to the compiler.
struct CurlMultiFree {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using CurlMulti = std::unique_ptr<CURLM, CurlMultiFree>;
using CurlList = std::unique_ptr<curl_slist, CurlFree>;
using CurlMime = std::unique_ptr<curl_mime, CurlFree>;

bool append(CurlList& list, const std::string& line) {
    curl_slist* const head = curl_slist_append(list.get(), line.c_str());
    if (head == nullptr)
        return false;
    (void)list.release(); // the same list, one node longer, or a new one
    list.reset(head);
    return true;
}

// One part of the message; libcurl writes its headers and, as RFC 2045
// section 6.8 asks, base64 lines of at most 76 characters, well inside the
// 1000 octets an SMTP text line may have (RFC 5321 section 4.5.3.1.6).
bool addPart(curl_mime* mime, const QByteArray& data, const std::string& type,
             const std::string& fileName) {
    curl_mimepart* const part = curl_mime_addpart(mime);
    return part != nullptr &&
           curl_mime_data(part, data.constData(), size_t(data.size())) == CURLE_OK &&
           curl_mime_type(part, type.c_str()) == CURLE_OK &&
           (fileName.empty() || curl_mime_filename(part, fileName.c_str()) == CURLE_OK) &&
           curl_mime_encoder(part, "base64") == CURLE_OK;
}

bool isPrintableAscii(const QByteArray& text) {
    return std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

// A header text beyond ASCII goes as an encoded word (RFC 2047).
QByteArray encodedWord(const QByteArray& utf8) {
    return "=?UTF-8?B?" + utf8.toBase64() + "?=";
}

// A display name as a quoted string (RFC 5322 section 3.2.4), so
// parentheses and the like stay part of the name.
QByteArray quotedName(const QString& name) {
    QByteArray q = name.toUtf8();
    if (!isPrintableAscii(q))
        return encodedWord(q);
    q.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + q + '"';
}

QByteArray headerText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return isPrintableAscii(utf8) ? utf8 : encodedWord(utf8);
}

// RFC 5322 section 3.3: "Sun, 06 Dec 2026 09:05:07 +0100", with English
// names whatever the locale.
QByteArray dateText(const QDateTime& time) {
    const int offset = time.offsetFromUtc() / 60;
    return QLocale::c().toString(time, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() +
           (offset < 0 ? '-' : '+') +
           QByteArray::number(std::abs(offset) / 60).rightJustified(2, '0') +
           QByteArray::number(std::abs(offset) % 60).rightJustified(2, '0');
}

// The header fields of RFC 5322 section 3.6 (Message-ID as in 3.6.4);
// libcurl writes the MIME structure's Content-Type beside them, each line
// ending in CR LF.
std::vector<std::string> headerLines(const SmtpControl& mail) {
    const QByteArray from = mail.FromAddress.trimmed().toUtf8();
    const QByteArray domain =
        from.contains('@') ? from.mid(from.indexOf('@') + 1) : QByteArray("localhost");
    const QByteArrayList lines = {
        "Date: " + dateText(mail.Clock ? mail.Clock() : QDateTime::currentDateTime()),
        "From: " + quotedName(mail.FromName) + " <" + from + '>',
        "To: <" + mail.ToAddress.trimmed().toUtf8() + '>',
        "Subject: " + headerText(mail.Subject),
        "Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' + domain +
            '>',
        "MIME-Version: 1.0",
    };
    std::vector<std::string> result;
    for (const QByteArray& line : lines)
        result.push_back(line.toStdString());
    return result;
}

} // namespace

struct SmtpControl::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    bool sendRequested = false;
    bool abandoned = false;
    // The control that hears the events; null once it has let go.
    SmtpControl* owner = nullptr;
    quint64 serial = 0;
    // The connection's sockets, so that abandoning ends every wait on them.
    std::vector<curl_socket_t> sockets;
    std::chrono::steady_clock::time_point deadline;
    // The transfer's inputs, fixed before the thread starts.
    std::string url;
    std::string from;
    std::string to;
    std::vector<std::string> headers;
    QByteArray body;
    std::string bodyType;
    QByteArray attachment;
    std::string attachmentType;
    std::string attachmentName; // empty for none
    long connectTimeoutMs = 0;
    long timeoutMs = 0;
    bool login = false;

    // Hands an event to the owner's thread, unless the owner has let go.
    void post(std::function<void(SmtpControl&)> event, bool outcome) {
        std::lock_guard lock(mutex);
        if (owner == nullptr)
            return;
        SmtpControl* target = owner;
        QMetaObject::invokeMethod(
            target,
            [target, n = serial, event = std::move(event), outcome] {
                target->deliver(
                    n, [&] { event(*target); }, outcome);
            },
            Qt::QueuedConnection);
    }

    // From any thread: no more events; with `cut`, the connection is shut
    // down as well, so no read or write on it waits any longer. shutdown()
    // keeps the descriptor, which libcurl still closes itself.
    void abandon(bool cut) {
        std::lock_guard lock(mutex);
        owner = nullptr;
        abandoned = true;
        wake.notify_all();
        if (cut)
            for (const curl_socket_t s : sockets)
                ::shutdown(s, SHUT_RDWR);
    }

    static curl_socket_t onOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
        auto& w = *static_cast<Worker*>(self);
        std::lock_guard lock(w.mutex);
        if (w.abandoned)
            return CURL_SOCKET_BAD;
        const curl_socket_t s =
            ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        if (s != CURL_SOCKET_BAD)
            w.sockets.push_back(s);
        return s;
    }
    static int onCloseSocket(void* self, curl_socket_t s) {
        auto& w = *static_cast<Worker*>(self);
        std::lock_guard lock(w.mutex);
        std::erase(w.sockets, s);
        return ::close(s);
    }
    static int onPrerequest(void* self, char*, char*, int, int) {
        auto& w = *static_cast<Worker*>(self);
        w.post([](SmtpControl& c) { Q_EMIT c.Connected(); }, false);
        std::unique_lock lock(w.mutex);
        w.wake.wait_until(lock, w.deadline, [&w] { return w.sendRequested || w.abandoned; });
        return w.sendRequested && !w.abandoned ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
    }
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto& w = *static_cast<Worker*>(self);
        std::lock_guard lock(w.mutex);
        return w.abandoned ? 1 : 0;
    }

    void run() {
        // All of these outlive the handle, whose cleanup may still write an
        // error and ends the session with QUIT.
        char error[CURL_ERROR_SIZE] = {};
        CurlList recipients;
        CurlList headerLines;
        CurlMime mime;
        const CurlEasy handle(curl_easy_init());
        CURL* const curl = handle.get();
        // Declared after the handle, so its cleanup, which closes the
        // connection, comes first.
        const CurlMulti multi(curl_multi_init());
        bool ready = curl != nullptr && multi && append(recipients, to);
        for (const std::string& line : headers)
            ready = ready && append(headerLines, line);
        if (ready) {
            mime.reset(curl_mime_init(curl));
            ready = mime && addPart(mime.get(), body, bodyType, {}) &&
                    (attachmentName.empty() ||
                     addPart(mime.get(), attachment, attachmentType, attachmentName));
        }
        if (!ready) {
            post(
                [](SmtpControl& c) {
                    Q_EMIT c.SendError(CURLE_FAILED_INIT, "Cannot start the mail transfer");
                },
                true);
            return;
        }
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        // A password never goes over an unencrypted connection; STARTTLS is
        // RFC 3207.
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(login ? CURLUSESSL_ALL : CURLUSESSL_TRY));
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
        // The envelope (RFC 5321 section 4.1.1.2-3); libcurl dot-stuffs the
        // message (section 4.5.2) and ends it with CR LF . CR LF.
        curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
        // For SMTP these are the message's own header lines, written above
        // the MIME structure.
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerLines.get());
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime.get());
        curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Worker::onPrerequest);
        curl_easy_setopt(curl, CURLOPT_PREREQDATA, this);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Worker::onProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &Worker::onOpenSocket);
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &Worker::onCloseSocket);
        curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, this);
        const CURLcode result = perform(multi.get(), curl);
        QString description = QString::fromUtf8(curl_easy_strerror(result));
        if (error[0] != '\0')
            description += QStringLiteral(": ") + QString::fromUtf8(error).trimmed();
        if (result == CURLE_USE_SSL_FAILED && login)
            description = QStringLiteral("The mail server offers no encryption, so the login "
                                         "was not sent (") +
                          description + u')';
        // The outcome is known now; the QUIT that the cleanup below sends
        // is a courtesy that nobody waits for.
        if (result == CURLE_OK)
            post([](SmtpControl& c) { Q_EMIT c.SendComplete(); }, true);
        else
            post([result,
                  description](SmtpControl& c) { Q_EMIT c.SendError(int(result), description); },
                 true);
        // The connection is closed, with QUIT, by the cache's own handle,
        // which takes its timeouts from the handle added last; left alone it
        // would wait two minutes for a reply to QUIT.
        curl_multi_remove_handle(multi.get(), curl);
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, QuitReplySeconds);
        curl_multi_add_handle(multi.get(), curl);
        curl_multi_remove_handle(multi.get(), curl);
    }

    // The transfer, as curl_easy_perform runs it, but on a cache of our own.
    static CURLcode perform(CURLM* multi, CURL* curl) {
        if (curl_multi_add_handle(multi, curl) != CURLM_OK)
            return CURLE_FAILED_INIT;
        for (int running = 1; running > 0;) {
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                return CURLE_FAILED_INIT;
            if (running > 0 && curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK)
                return CURLE_FAILED_INIT;
        }
        int left = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi, &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
                return message->data.result;
        return CURLE_FAILED_INIT;
    }

    // Every worker still running, kept by the thread that runs it.
    struct Live {
        std::mutex mutex;
        std::condition_variable ended;
        std::vector<std::shared_ptr<Worker>> workers;
    };
    static Live& live() {
        // Never destroyed: a worker may end after the program's exit.
        static auto* const all = new Live;
        return *all;
    }
    static void start(const std::shared_ptr<Worker>& worker) {
        {
            std::lock_guard lock(live().mutex);
            live().workers.push_back(worker);
        }
        std::thread([worker] {
            worker->run();
            Live& all = live();
            std::lock_guard lock(all.mutex);
            std::erase(all.workers, worker);
            all.ended.notify_all();
        }).detach();
    }
    // Cuts every connection and waits, at most `bound`, for the workers.
    static void endAll(std::chrono::milliseconds bound) {
        Live& all = live();
        std::unique_lock lock(all.mutex);
        for (const auto& w : all.workers)
            w->abandon(true);
        all.ended.wait_for(lock, bound, [&all] { return all.workers.empty(); });
    }

    static void initialiseOnce() {
        static const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        (void)curlReady;
        // Made after libcurl's set-up, so at exit it runs before the TLS
        // library's own exit handler and no worker is left inside it.
        static const struct ExitGuard {
            ExitGuard() = default;
            ExitGuard(const ExitGuard&) = delete;
            ExitGuard& operator=(const ExitGuard&) = delete;
            ~ExitGuard() { endAll(std::chrono::seconds(3)); }
        } guard;
    }
};

SmtpControl::SmtpControl(QObject* parent)
    : QObject(parent) {
    m_deadline.setSingleShot(true);
    // The whole-mail limit holds whatever the worker is waiting for.
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (!m_outcomePending)
            return;
        m_outcomePending = false;
        if (m_worker)
            m_worker->abandon(true);
        Q_EMIT SendError(CURLE_OPERATION_TIMEDOUT,
                         QStringLiteral("Timeout was reached: the mail was not done after %1 "
                                        "seconds")
                             .arg(double(Timeout.count()) / 1000.0));
    });
}

SmtpControl::~SmtpControl() {
    Disconnect();
}

QString SmtpControl::serverUrl(const QString& server) {
    const QString s = server.trimmed();
    if (s.isEmpty())
        return {};
    if (s.contains(QStringLiteral("://")))
        return s;
    // "host" or "host:port"; a bare IPv6 address goes in brackets.
    const bool ipv6 = s.count(u':') > 1 && !s.startsWith(u'[');
    return QStringLiteral("smtp://") + (ipv6 ? u'[' + s + u']' : s);
}

void SmtpControl::Connect() {
    Disconnect();
    Worker::initialiseOnce();
    auto w = std::make_shared<Worker>();
    w->owner = this;
    w->serial = ++m_serial;
    w->url = serverUrl(Server).toStdString();
    w->login = !QUrl(QString::fromStdString(w->url)).userInfo().isEmpty();
    w->from = '<' + FromAddress.trimmed().toStdString() + '>';
    w->to = '<' + ToAddress.trimmed().toStdString() + '>';
    w->headers = headerLines(*this);
    w->body = Body.toUtf8();
    w->bodyType = ContentType.toStdString() + "; charset=UTF-8";
    QFile attachment(Attachment);
    if (!Attachment.isEmpty() && attachment.open(QIODevice::ReadOnly)) {
        w->attachment = attachment.readAll();
        const QString name = QFileInfo(Attachment).fileName();
        w->attachmentName = name.toStdString();
        const QString lower = name.toLower();
        w->attachmentType =
            (lower.endsWith(QLatin1String(".jpg")) || lower.endsWith(QLatin1String(".jpeg"))
                 ? std::string("image/jpeg")
                 : std::string("application/octet-stream")) +
            "; name=\"" + w->attachmentName + '"';
    }
    w->connectTimeoutMs = long(ConnectTimeout.count());
    w->timeoutMs = long(Timeout.count());
    w->deadline = std::chrono::steady_clock::now() + Timeout;
    m_worker = w;
    m_outcomePending = true;
    m_deadline.start(Timeout);
    if (w->url.empty()) {
        w->post(
            [](SmtpControl& c) { Q_EMIT c.SendError(CURLE_URL_MALFORMAT, "No mail server given"); },
            true);
        return;
    }
    Worker::start(w);
}

void SmtpControl::deliver(quint64 serial, const std::function<void()>& emitEvent, bool outcome) {
    if (serial != m_serial || !m_outcomePending)
        return;
    if (outcome) {
        m_outcomePending = false;
        m_deadline.stop();
    }
    emitEvent();
}

void SmtpControl::SendMessage() {
    if (!m_worker)
        return;
    std::lock_guard lock(m_worker->mutex);
    m_worker->sendRequested = true;
    m_worker->wake.notify_all();
}

void SmtpControl::Disconnect() {
    m_deadline.stop();
    if (!m_worker)
        return;
    // A mail under way is cut off at once; a finished one may still take
    // its leave of the server, on the worker alone.
    m_worker->abandon(m_outcomePending);
    m_worker.reset();
    m_outcomePending = false;
}
