#pragma once

#include <QString>
#include <QStringList>

// The web page's settings and whether it is served, as the Web Access
// dialog shows them.
struct WebAccess {
    QString password;     // clear text; empty serves no page
    int port = 8443;      // [WEB] Port
    int portOverride = 0; // SENTORIX_WEB_PORT; 0 when it is not set
    bool serving = false;
    // A page was asked for (a password, no /NOREMOTE) but is not served.
    bool failed = false;
    // Served, off, or why it is not served.
    QString status;
    // SHA-256 of the certificate in use, or of the one that will be used;
    // empty while it is still to be made.
    QString fingerprint;

    int portInForce() const { return portOverride > 0 ? portOverride : port; }

    // Whether the stored, scrambled form keeps `password` whole: empty, or
    // letters and digits only.
    static bool storable(const QString& password);
    // "https://ADDRESS:PORT/" for every IPv4 address of the machine's
    // interfaces that are up, the loopback left out: what to open on a
    // phone in the same network.
    static QStringList addresses(int port);
};
