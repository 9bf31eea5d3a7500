#pragma once

#include <QString>

// The web page's TLS identity: a certificate and its private key in PEM
// files. Without files of the user's own, a self-signed pair is made once
// and kept, so the phone that trusted it once keeps trusting it.
class TlsCertificate final {
public:
    // Makes a self-signed certificate (EC P-256, ten years, the host name
    // and "localhost" as names) unless both files exist. The key file is
    // created with mode 0600 and never widened. False, with `error` set,
    // when either file cannot be written.
    static bool makeSelfSigned(const QString& certificatePath, const QString& keyPath,
                               QString* error = nullptr);

    // The SHA-256 fingerprint of the certificate in the file, as upper-case
    // hexadecimal pairs joined by ':'; empty when the file holds none.
    static QString fingerprint(const QString& certificatePath);
};
