#include <QtTest>

#include "CommandLine.h"
#include "Version.h"

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        using A = CommandLine::Action;
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("textStart");
        QTest::newRow("--help") << QStringList {"--help"} << A::Help << 0 << "Usage: ondrix [options]\n";
        const QString version = QStringLiteral("ondrix " ONDRIX_VERSION "\n");
        QTest::newRow("--version") << QStringList {"--version"} << A::Version << 0 << version;
        QTest::newRow("unknown option") << QStringList {"--frobnicate"} << A::Fail << 2
                                        << "ondrix: Unknown option 'frobnicate'.\n\nUsage: ondrix [options]\n";
        QTest::newRow("stray argument") << QStringList {"file.txt"} << A::Fail << 2
                                        << "ondrix: Unexpected argument 'file.txt'.\n\nUsage:";
        QTest::newRow("Qt's options") << QStringList {"-platform", "offscreen",         "-style=fusion",
                                                      "-reverse",  "--qwindowgeometry", "500x351+0+0"}
                                      << A::Run << 0 << "";
        QTest::newRow("engine switches") << QStringList {"--webEngineArgs", "--disable-gpu", "x"} << A::Run << 0 << "";
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(CommandLine::Action, action);
        QFETCH(int, exitCode);
        QFETCH(QString, textStart);
        const CommandLine c = CommandLine::parse(QStringList {"/usr/bin/ondrix"} + arguments);
        QCOMPARE(c.action, action);
        QCOMPARE(c.exitCode, exitCode);
        QVERIFY2(textStart.isEmpty() ? c.text.isEmpty() : c.text.startsWith(textStart), qPrintable(c.text));
        if (action == CommandLine::Action::Help)
            QVERIFY(c.text.contains("--version") && !c.text.contains("platformpluginpath"));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_cmdline.moc"
