#include "FpcClient.h"
#include "FpcConfigKeys.h"
#include "FpcConfigurationText.h"
#include "FpcCounterText.h"
#include "FpcStatusReport.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QDBusVirtualObject>
#include <QProcess>
#include <QTest>

namespace {

// A stand-in of the daemon in a child process that answers out of form:
// configurations with a number, forcedUpload never, anything else empty.
class GarbageDaemon : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() == QLatin1String("configurations"))
            connection.send(message.createReply(QVariantList{42}));
        else if (message.member() != QLatin1String("forcedUpload"))
            connection.send(message.createReply());
        return true;
    }
};

int runGarbageDaemon()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    GarbageDaemon daemon;
    if (!bus.registerVirtualObject(QLatin1String(FpcClient::Path), &daemon)
        || !bus.registerService(QLatin1String(FpcClient::Service)))
        return 1;
    return QCoreApplication::exec();
}

} // namespace

class TstFpcClient : public QObject
{
    Q_OBJECT

    static QVariantList report(const QStringList &entries)
    {
        return {entries, 1714557600u, 42u, 126000u, 300000u, 5000u, 100000u, 7u};
    }

private slots:
    // Garbage, silence and a vanished daemon each come back as their own error.
    void failuresOfTheDaemon()
    {
        TestBus bus;
        QVERIFY2(bus.start(), qPrintable(bus.errorString()));
        FpcClient client(bus.connection());
        client.setTimeoutMs(500);
        QCOMPARE(client.checkDaemon().error, FpcClientResult::NotRunning);
        QProcess daemon;
        TestSupport::dieWithParent(daemon);
        daemon.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--garbage-daemon")});
        QVERIFY(bus.waitForName(QLatin1String(FpcClient::Service)));
        QString error;
        QVERIFY(client.subscribe(&error) && client.checkDaemon().ok());
        const auto read = [&] {
            return client.wait([&](const FpcClient::Done &done) { client.readConfiguration(nullptr, done); });
        };
        QCOMPARE(read().error, FpcClientResult::BadReply);
        const FpcClientResult upload =
            client.wait([&](const FpcClient::Done &done) { client.startUpload(nullptr, done); });
        QVERIFY2(upload.error == FpcClientResult::Timeout && upload.message.contains("forcedUpload"),
                 qPrintable(upload.message));
        bool running = true;
        connect(&client, &FpcClient::daemonRunningChanged, this, [&](bool now) { running = now; });
        TestSupport::stopProcess(daemon, 5000);
        QVERIFY(TestSupport::waitFor([&] { return !running; }, 5000));
        QCOMPARE(read().error, FpcClientResult::NotRunning);
    }

    void statusEntries()
    {
        FpcStatusReport status;
        QString error;
        const QStringList entries{"1714557600250:15:W",
                                  "1714557660000:11:W",
                                  "1714557720000:7:G",
                                  "1714557780000:9",
                                  "1714557540000:15:W",
                                  "garbage",
                                  "17:15:X",
                                  "12:abc:G",
                                  "1:2:G:extra",
                                  "5:256"};
        QVERIFY(FpcStatusReport::fromArguments(report(entries), &status, &error));
        QCOMPARE(status.total(), 10);
        QCOMPARE(status.unreadable, 5);
        QVERIFY(status.wcdma == 3 && status.gsm == 1 && status.noRadio == 1 && status.kinds.value(15) == 2);
        QVERIFY(status.oldestMs == 1714557540000 && status.newestMs == 1714557780000);
        // Reports of the wrong shape are refused.
        QVERIFY(!FpcStatusReport::fromArguments(report({}).mid(0, 7), &status, &error));
        QVariantList wrongType = report({});
        wrongType[3] = QVariant(qint64(126000));
        QVERIFY(!FpcStatusReport::fromArguments(wrongType, &status, &error));
        QCOMPARE(FpcCounterText::sentence("tooClose", 12),
                 QStringLiteral("12 fixes too close to the last fingerprint"));
        QCOMPARE(FpcCounterText::sentence("uploadsFailed", 1), QStringLiteral("1 upload failed"));
    }

    // Each value type's limits; the refusal names the key.
    void valueTypes()
    {
        QVERIFY(!FpcConfigKeys::find(QStringLiteral("no_such_key")));
        const QList<std::tuple<QString, QString, bool>> cases{{"timer_trigger_base_value", "-1", true},
                                                              {"speed_threshold", "1.5", false},
                                                              {"trust_level", "-1", false},
                                                              {"fp_buffer_max_size", "4294967296", false},
                                                              {"wlan_upload_fill_ratio", "inf", false},
                                                              {"privacy_zones", "x;y", true}};
        for (const auto &[key, value, fits] : cases) {
            const FpcConfigKeys::Key *entry = FpcConfigKeys::find(key);
            QString error;
            QVERIFY2(entry && FpcConfigKeys::valueFits(*entry, value, &error) == fits, qPrintable(key));
            QCOMPARE(error.contains(key), !fits);
        }
    }

    void configurationText()
    {
        QMap<QString, QString> items;
        QString error;
        // Attribute or child element; an empty attribute gives way to the child; a later item wins.
        QVERIFY(FpcConfigurationText::parse("<fpcconfig><item key='a' value='1'/><item><key>b</key><value>2</value>"
                                            "</item><item key='' value='3'><key>c</key></item><item key='a' value='4'/>"
                                            "</fpcconfig>",
                                            &items, &error));
        QCOMPARE(items, (QMap<QString, QString>{{"a", "4"}, {"b", "2"}, {"c", "3"}}));
        const QList<QPair<QByteArray, QString>> faulty{{"<fpcconfig><item key='a'/></fpcconfig>",
                                                        "item 1 (line 1, key \"a\") has no value"},
                                                       {"<fpcconfig>\n<item value='1'/></fpcconfig>",
                                                        "item 1 (line 2) has no key"},
                                                       {"<fpcconfig><item key='a' value='1'/>", "not valid XML"}};
        for (const auto &[xml, reason] : faulty) {
            QVERIFY2(!FpcConfigurationText::parse(xml, &items, &error) && error.contains(reason), qPrintable(error));
            QVERIFY(items.isEmpty());
        }
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--garbage-daemon")))
        return runGarbageDaemon();
    TstFpcClient test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_fpc_client.moc"
