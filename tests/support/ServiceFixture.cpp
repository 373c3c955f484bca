#include "ServiceFixture.h"

#include "TestBus.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>
#include <QXmlStreamReader>

namespace {
const QString Interface = QString::fromLatin1(DaemonProcess::ServiceName);
}

ServiceFixture::ServiceFixture(TestBus &bus)
    : m_bus(bus), m_root(std::make_unique<TempRoot>()), m_daemon(std::make_unique<DaemonProcess>(bus))
{}

ServiceFixture::~ServiceFixture()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << "Daemon trace (end):\n" << trace().right(8000);
    if (m_daemon->isRunning())
        m_daemon->terminate();
}

bool ServiceFixture::start(const QStringList &arguments, const Items &config)
{
    if (!m_root->setRdMode(true) || !m_root->makeLogDirectory()
        || !m_root->writeConfigItems(Items{{QStringLiteral("db_file"), databasePath()}} + config))
        return false;
    QStringList all = arguments;
    m_traceOnStdout = arguments.contains(QStringLiteral("--sbox"));
    if (!m_traceOnStdout)
        all << QStringLiteral("--tracefile") << m_root->path(QStringLiteral("/trace.log"));
    return m_daemon->startAndWaitRegistered(all) && waitForTrace("FpcEventHandler::startComponents() ->");
}

int ServiceFixture::quit()
{
    callNoReply(QStringLiteral("quit"));
    return m_daemon->waitForExit() && m_daemon->exitedNormally() ? m_daemon->exitCode() : -1;
}

QByteArray ServiceFixture::trace()
{
    QCoreApplication::processEvents(); // output waiting in the pipe reaches the process object
    return m_traceOnStdout ? m_daemon->standardOutput()
                           : TestSupport::readFile(m_root->path(QStringLiteral("/trace.log")));
}

bool ServiceFixture::waitForTrace(const QByteArray &needle, int count)
{
    return TestSupport::waitFor([&] { return traceCount(needle) >= count; }, 10000);
}

QDBusMessage ServiceFixture::methodCall(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(Interface, QString::fromLatin1(DaemonProcess::ObjectPath), Interface, method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage ServiceFixture::call(const QString &method, const QVariantList &arguments)
{
    return m_bus.connection().call(methodCall(method, arguments), QDBus::Block, 10000);
}

bool ServiceFixture::callNoReply(const QString &method, const QVariantList &arguments)
{
    return m_bus.connection().send(methodCall(method, arguments));
}

bool ServiceFixture::broadcast(const QString &interface, const QString &member, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createSignal(QStringLiteral("/test/peer"), interface, member);
    message.setArguments(arguments);
    return m_bus.connection().send(message);
}

QMap<QString, QString> ServiceFixture::configurations()
{
    QMap<QString, QString> values;
    QXmlStreamReader xml(call(QStringLiteral("configurations")).arguments().value(0).toString());
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("item"))
            values.insert(xml.attributes().value("key").toString(), xml.attributes().value("value").toString());
    }
    return values;
}

QList<QVariantList> ServiceFixture::queryRows(const QString &sql)
{
    const QString name = QUuid::createUuid().toString();
    QList<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath());
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db.open() ? db : QSqlDatabase());
        query.exec(sql); // on failure no rows: next() is false
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row << query.value(i);
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

DaemonSignalRecorder::DaemonSignalRecorder(QDBusConnection bus, const QString &member)
{
    bus.connect(QString(), QString::fromLatin1(DaemonProcess::ObjectPath), Interface, member, this,
                SLOT(record(QDBusMessage)));
}
