#include "SmtpControl.h"

#include <curl/curl.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

constexpr char CrLf[] = "\r\n";

// The global libcurl state, set up once before the first mail.
void initialiseCurlOnce() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

QByteArray base64Lines(const QByteArray& data) {
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        out += encoded.mid(i, 76) + CrLf;
    return out;
}

bool isPrintableAscii(const QByteArray& text) {
    return std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

// A header text beyond ASCII goes as an encoded word.
QByteArray encodedWord(const QByteArray& utf8) {
    return "=?UTF-8?B?" + utf8.toBase64() + "?=";
}

// A display name as a quoted string, so parentheses and the like stay
// part of the name.
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

} // namespace

struct SmtpControl::Worker {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool sendRequested = false;
    bool abandon = false;
    std::chrono::steady_clock::time_point deadline;
    QPointer<SmtpControl> owner;
    // The transfer's inputs, fixed before the thread starts.
    std::string url;
    std::string from;
    std::string to;
    QByteArray payload;
    qsizetype sent = 0;
    long connectTimeoutMs = 0;
    long timeoutMs = 0;

    void post(std::function<void(SmtpControl&)> event) {
        QPointer<SmtpControl> target = owner;
        if (!target)
            return;
        QMetaObject::invokeMethod(
            target.data(),
            [target, event = std::move(event)] {
                if (target)
                    event(*target);
            },
            Qt::QueuedConnection);
    }

    static int onPrerequest(void* self, char*, char*, int, int) {
        auto& w = *static_cast<Worker*>(self);
        w.post([](SmtpControl& c) { Q_EMIT c.Connected(); });
        std::unique_lock lock(w.mutex);
        w.wake.wait_until(lock, w.deadline, [&w] { return w.sendRequested || w.abandon; });
        return w.sendRequested && !w.abandon ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
    }
    static size_t onRead(char* buffer, size_t size, size_t count, void* self) {
        auto& w = *static_cast<Worker*>(self);
        const qsizetype room = qsizetype(size * count);
        const qsizetype n = std::min(room, w.payload.size() - w.sent);
        std::memcpy(buffer, w.payload.constData() + w.sent, size_t(n));
        w.sent += n;
        return size_t(n);
    }
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto& w = *static_cast<Worker*>(self);
        std::lock_guard lock(w.mutex);
        return w.abandon ? 1 : 0;
    }

    void run() {
        CURL* curl = curl_easy_init();
        if (curl == nullptr) {
            post([](SmtpControl& c) {
                Q_EMIT c.SendError(CURLE_FAILED_INIT, "Cannot start the mail transfer");
            });
            return;
        }
        char error[CURL_ERROR_SIZE] = {};
        curl_slist* recipients = curl_slist_append(nullptr, to.c_str());
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &Worker::onRead);
        curl_easy_setopt(curl, CURLOPT_READDATA, this);
        curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Worker::onPrerequest);
        curl_easy_setopt(curl, CURLOPT_PREREQDATA, this);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Worker::onProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
        const CURLcode result = curl_easy_perform(curl);
        QString description = QString::fromUtf8(curl_easy_strerror(result));
        if (error[0] != '\0')
            description += QStringLiteral(": ") + QString::fromUtf8(error).trimmed();
        curl_slist_free_all(recipients);
        curl_easy_cleanup(curl);
        if (result == CURLE_OK)
            post([](SmtpControl& c) { Q_EMIT c.SendComplete(); });
        else
            post([result, description](SmtpControl& c) {
                Q_EMIT c.SendError(int(result), description);
            });
    }
};

SmtpControl::SmtpControl(QObject* parent)
    : QObject(parent) {}

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

QByteArray SmtpControl::message() const {
    const QByteArray from = FromAddress.trimmed().toUtf8();
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    QByteArray head =
        "Date: " +
        QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() +
        (offset < 0 ? '-' : '+') +
        QByteArray::number(std::abs(offset) / 60).rightJustified(2, '0') +
        QByteArray::number(std::abs(offset) % 60).rightJustified(2, '0') + CrLf;
    head += "From: " + quotedName(FromName) + " <" + from + '>' + CrLf;
    head += "To: <" + ToAddress.trimmed().toUtf8() + '>' + CrLf;
    head += "Subject: " + headerText(Subject) + CrLf;
    head += "Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' +
            (from.contains('@') ? from.mid(from.indexOf('@') + 1) : QByteArray("localhost")) + '>' +
            CrLf;
    head += QByteArray("MIME-Version: 1.0") + CrLf;

    const QByteArray bodyPart = "Content-Type: " + ContentType.toUtf8() + "; charset=UTF-8" + CrLf +
                                "Content-Transfer-Encoding: base64" + CrLf + CrLf +
                                base64Lines(Body.toUtf8());
    QFile attachment(Attachment);
    if (Attachment.isEmpty() || !attachment.open(QIODevice::ReadOnly))
        return head + bodyPart;

    const QByteArray boundary = "=_sentorix_" + QUuid::createUuid().toByteArray(QUuid::Id128);
    const QByteArray name = QFileInfo(Attachment).fileName().toUtf8();
    const QByteArray type = name.toLower().endsWith(".jpg") || name.toLower().endsWith(".jpeg")
                                ? QByteArray("image/jpeg")
                                : QByteArray("application/octet-stream");
    return head + "Content-Type: multipart/mixed; boundary=\"" + boundary + '"' + CrLf + CrLf +
           "--" + boundary + CrLf + bodyPart + "--" + boundary + CrLf + "Content-Type: " + type +
           "; name=\"" + name + '"' + CrLf + "Content-Disposition: attachment; filename=\"" + name +
           '"' + CrLf + "Content-Transfer-Encoding: base64" + CrLf + CrLf +
           base64Lines(attachment.readAll()) + "--" + boundary + "--" + CrLf;
}

void SmtpControl::Connect() {
    Disconnect();
    initialiseCurlOnce();
    m_worker = std::make_unique<Worker>();
    Worker& w = *m_worker;
    w.owner = this;
    w.url = serverUrl(Server).toStdString();
    w.from = '<' + FromAddress.trimmed().toStdString() + '>';
    w.to = '<' + ToAddress.trimmed().toStdString() + '>';
    w.payload = message();
    w.connectTimeoutMs = long(ConnectTimeout.count());
    w.timeoutMs = long(Timeout.count());
    w.deadline = std::chrono::steady_clock::now() + Timeout;
    if (w.url.empty()) {
        w.post([](SmtpControl& c) {
            Q_EMIT c.SendError(CURLE_URL_MALFORMAT, "No mail server given");
        });
        return;
    }
    w.thread = std::thread([&w] { w.run(); });
}

void SmtpControl::SendMessage() {
    if (!m_worker)
        return;
    std::lock_guard lock(m_worker->mutex);
    m_worker->sendRequested = true;
    m_worker->wake.notify_all();
}

void SmtpControl::Disconnect() {
    if (!m_worker)
        return;
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->abandon = true;
        m_worker->wake.notify_all();
    }
    if (m_worker->thread.joinable())
        m_worker->thread.join();
    m_worker.reset();
}
