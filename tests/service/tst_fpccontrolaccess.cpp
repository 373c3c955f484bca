#include "FpcControlAccess.h"
#include "LogCapture.h"
#include "TestBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

#include <grp.h>
#include <unistd.h>

// Who may control the daemon: the bus names users, the group database
// tells membership; each side is checked real and replaced.
class TstFpcControlAccess : public QObject
{
    Q_OBJECT

private slots:
    void realLookups()
    {
        TestBus bus;
        QVERIFY2(bus.start(), qPrintable(bus.errorString()));
        const QString self = QDBusConnection::systemBus().baseService();
        QCOMPARE(FpcControlAccess::systemBusUser(self), std::optional<uint>(::getuid()));
        QCOMPARE(FpcControlAccess::systemBusUser(QStringLiteral(":1.99999")), std::nullopt);

        const group *primary = ::getgrgid(::getgid());
        QVERIFY(primary);
        QVERIFY(FpcControlAccess::systemGroupMember(::getuid(), QString::fromLocal8Bit(primary->gr_name)));
        QVERIFY(!FpcControlAccess::systemGroupMember(::getuid(), QStringLiteral("no-such-group-fpcd")));
    }

    void rootAndGroupMembersOnly()
    {
        // Bus name ":uid" stands for a connection of that user; ":?" for one the bus cannot tell.
        const auto userOf = [](const QString &name) -> std::optional<uint> {
            bool ok = false;
            const uint uid = name.mid(1).toUInt(&ok);
            return ok ? std::optional<uint>(uid) : std::nullopt;
        };
        const auto isMember = [](uint uid, const QString &group) { return uid == 1000 && group == "ctl"; };
        const FpcControlAccess access(userOf, isMember, QStringLiteral("ctl"));
        LogCapture log;
        QVERIFY(access.allows(":0", "quit"));
        QVERIFY(access.allows(":1000", "quit"));
        QVERIFY(!access.allows(":1001", "clearBuffer"));
        QVERIFY(!access.allows(":?", "signal quit"));
        QCOMPARE(log.lines().filter("refused: sender").size(), 2);
        QVERIFY(log.lines().join('\n').contains("signal quit refused: sender :? is user unknown"));
        QCOMPARE(FpcControlAccess().controlGroup(), QStringLiteral(FPCD_CONTROL_GROUP)); // the build setting
    }
};

QTEST_GUILESS_MAIN(TstFpcControlAccess)
#include "tst_fpccontrolaccess.moc"
