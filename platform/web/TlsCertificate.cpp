#include "TlsCertificate.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FreeKey {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct FreeCertificate {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using Key = std::unique_ptr<EVP_PKEY, FreeKey>;
using Certificate = std::unique_ptr<X509, FreeCertificate>;
using File = std::unique_ptr<std::FILE, CloseFile>;

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

bool addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// Opens a new file that only the owner may read, whatever the umask.
File privateFile(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return {};
    if (::fchmod(fd, 0600) != 0) {
        ::close(fd);
        return {};
    }
    std::FILE* file = ::fdopen(fd, "w");
    if (!file)
        ::close(fd);
    return File(file);
}

} // namespace

bool TlsCertificate::makeSelfSigned(const QString& certificatePath, const QString& keyPath,
                                    QString* error) {
    if (QFileInfo::exists(certificatePath) && QFileInfo::exists(keyPath))
        return true;
    const Key key(EVP_EC_gen("P-256"));
    const Certificate certificate(X509_new());
    if (!key || !certificate)
        return fail(error, QStringLiteral("no key could be made"));
    constexpr long TenYears = 10L * 365 * 24 * 3600;
    unsigned char serial[16];
    QFile random(QStringLiteral("/dev/urandom"));
    if (!random.open(QIODevice::ReadOnly) || random.read(reinterpret_cast<char*>(serial), 16) != 16)
        return fail(error, QStringLiteral("no random serial number"));
    serial[0] &= 0x7F; // a positive number
    ASN1_INTEGER* number = X509_get_serialNumber(certificate.get());
    BIGNUM* big = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool numbered = big && BN_to_ASN1_INTEGER(big, number);
    BN_free(big);
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const QByteArray commonName = host.isEmpty() ? QByteArrayLiteral("sentorix") : host;
    const QByteArray names =
        "DNS:localhost,IP:127.0.0.1" + (host.isEmpty() ? QByteArray() : ",DNS:" + host);
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    const bool built =
        numbered && X509_set_version(certificate.get(), 2) == 1 &&
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) &&
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), TenYears) &&
        X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Sentorix"), -1, -1,
                                   0) == 1 &&
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.constData()),
                                   -1, -1, 0) == 1 &&
        X509_set_issuer_name(certificate.get(), subject) == 1 &&
        X509_set_pubkey(certificate.get(), key.get()) == 1 &&
        addExtension(certificate.get(), NID_subject_alt_name, names.constData()) &&
        addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE") &&
        X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0;
    if (!built)
        return fail(error, QStringLiteral("the certificate could not be made"));

    // The key first: a certificate without its key would be taken as the
    // user's own pair and never replaced.
    const File keyFile = privateFile(keyPath);
    if (!keyFile ||
        PEM_write_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return fail(error, QStringLiteral("cannot write %1: %2")
                               .arg(keyPath, QString::fromLocal8Bit(std::strerror(errno))));
    const File certificateFile(std::fopen(QFile::encodeName(certificatePath).constData(), "we"));
    if (!certificateFile || PEM_write_X509(certificateFile.get(), certificate.get()) != 1)
        return fail(error, QStringLiteral("cannot write %1: %2")
                               .arg(certificatePath, QString::fromLocal8Bit(std::strerror(errno))));
    return true;
}

QString TlsCertificate::fingerprint(const QString& certificatePath) {
    const File file(std::fopen(QFile::encodeName(certificatePath).constData(), "re"));
    if (!file)
        return {};
    const Certificate certificate(PEM_read_X509(file.get(), nullptr, nullptr, nullptr));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!certificate || X509_digest(certificate.get(), EVP_sha256(), digest, &length) != 1)
        return {};
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex(':').toUpper());
}
