#include "CommandLine.h"

#include <QTest>

class tst_CommandLine final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected"); // letters of the switches found: d h o r s m
        const char* const rows[][2] = {
            {"", ""},
            {"/debug", "d"},
            {"x /NoMail y /Start", "sm"},
            {"/DEBUGGING", "d"}, // inside a longer word
            {"/DEBUG /NOHW /NOOVERLAY /NOREMOTE /START /NOMAIL", "dhorsm"},
            {"/nohw/nooverlay", "ho"},
            {"DEBUG START", ""},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << row[0] << row[1];
    }
    void parse() {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        const CommandLine c = CommandLine::parse(line);
        const bool found[] = {c.debug, c.noHardware, c.noOverlay, c.noRemote, c.start, c.noMail};
        QString letters;
        for (int i = 0; i < 6; ++i)
            letters += found[i] ? QStringLiteral("dhorsm").at(i) : QChar();
        QCOMPARE(letters.remove(QChar()), expected);
    }

    void argumentsAreJoined() {
        // Two arguments that only form a switch when joined do not count;
        // one argument containing a switch does.
        QVERIFY(!CommandLine::fromArguments({"/DE", "BUG"}).debug);
        QVERIFY(CommandLine::fromArguments({"--x", "a/nomailb"}).noMail);
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
