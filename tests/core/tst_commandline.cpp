#include "CommandLine.h"

#include <QTest>

class tst_CommandLine final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected"); // letters of the switches found: d h o r s m
        QTest::newRow("none") << ""
                              << "";
        QTest::newRow("debug") << "/DEBUG"
                               << "d";
        QTest::newRow("lower case") << "/debug"
                                    << "d";
        QTest::newRow("mixed case, any position") << "x /NoMail y /Start"
                                                  << "sm";
        QTest::newRow("inside a longer word") << "/DEBUGGING"
                                              << "d";
        QTest::newRow("all") << "/DEBUG /NOHW /NOOVERLAY /NOREMOTE /START /NOMAIL"
                             << "dhorsm";
        QTest::newRow("glued together") << "/nohw/nooverlay"
                                        << "ho";
        QTest::newRow("without slash") << "DEBUG START"
                                       << "";
        // "/STARTUP" contains "/START".
        QTest::newRow("start in longer word") << "/STARTUP"
                                              << "s";
    }
    void parse() {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        const CommandLine c = CommandLine::parse(line);
        QString found;
        if (c.debug)
            found += u'd';
        if (c.noHardware)
            found += u'h';
        if (c.noOverlay)
            found += u'o';
        if (c.noRemote)
            found += u'r';
        if (c.start)
            found += u's';
        if (c.noMail)
            found += u'm';
        QCOMPARE(found, expected);
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
