#include "RadioEnvironment.h"

#include "RadioPhonePosition.h"
#include "RadioWlanScanner.h"
#include "RootPath.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QThread>

namespace {

const char WorldVariable[] = "FPCD_RADIO_WORLD";
const char DefaultWorldFile[] = "/var/lib/radio/world.json";
// A world is a few hundred transmitters; anything this big is a mistake.
constexpr qint64 kMaxWorldFileBytes = 16 * 1024 * 1024;

long nowSeconds()
{
    return static_cast<long>(QDateTime::currentSecsSinceEpoch());
}

bool onApplicationThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && application->thread() == QThread::currentThread();
}

} // namespace

RadioEnvironment &RadioEnvironment::instance()
{
    static RadioEnvironment environment;
    return environment;
}

QString RadioEnvironment::worldFilePath()
{
    const QString configured = qEnvironmentVariable(WorldVariable);
    return configured.isEmpty() ? RootPath::apply(QLatin1String(DefaultWorldFile)) : configured;
}

bool RadioEnvironment::refresh()
{
    const QString path = worldFilePath();
    QFile file(path);
    if (!file.exists()) {
        if (m_fileSeen || m_path != path)
            qDebug().noquote() << "[INFO] RadioEnvironment::refresh() no world file at" << path
                               << "- no cells, no access points";
        dropWorld(QStringLiteral("the world file is gone"));
        m_fileSeen = false;
        m_contents.clear();
        m_path = path;
        return false;
    }

    QByteArray contents;
    QString problem;
    if (file.size() > kMaxWorldFileBytes)
        problem = QStringLiteral("larger than %1 bytes").arg(kMaxWorldFileBytes);
    else if (!file.open(QIODevice::ReadOnly))
        problem = file.errorString();
    else
        contents = file.readAll();
    if (!problem.isEmpty())
        contents = problem.toUtf8(); // remembered so the same fault is logged once

    if (m_fileSeen && path == m_path && contents == m_contents)
        return m_survey.has_value();
    m_fileSeen = true;
    m_path = path;
    m_contents = contents;

    RadioWorld world;
    if (problem.isEmpty() && !RadioWorld::fromJson(contents, world, &problem))
        problem = QStringLiteral("refused: ") + problem;
    if (!problem.isEmpty()) {
        qWarning().noquote() << "RadioEnvironment::refresh() world file" << path << problem;
        dropWorld(QStringLiteral("no usable world"));
        return false;
    }
    useWorld(world, path);
    return true;
}

std::optional<RadioGeoPoint> RadioEnvironment::phonePosition() const
{
    if (!m_survey)
        return std::nullopt;
    if (m_phone)
        return m_phone->position();
    return m_survey->world().startPosition();
}

bool RadioEnvironment::cellsAvailable()
{
    if (!refresh())
        return false;
    const std::optional<RadioGeoPoint> at = phonePosition();
    return at && m_survey->hasCoverage(*at);
}

bool RadioEnvironment::appendServingCell(VomuMeasurements &measurements)
{
    if (!refresh())
        return false;
    const std::optional<RadioGeoPoint> at = phonePosition();
    if (!at)
        return false;
    std::unique_ptr<VomuObservationElement> cell = m_survey->servingCell(*at, nowSeconds());
    if (!cell)
        return false;
    measurements.append(cell.release());
    return true;
}

bool RadioEnvironment::startWlanScan(RadioMeasurements::WlanScanCallback callback, void *context)
{
    if (!callback) {
        qWarning() << "RadioMeasurements::wlanWemScan() no callback, scan refused";
        return false;
    }
    if (!onApplicationThread() || !scanner()) {
        qWarning() << "RadioMeasurements::wlanWemScan() not on the application's event-loop thread, scan refused";
        return false;
    }
    if (!refresh()) {
        // Nothing to hear: an empty result, still through the event loop.
        scanner()->deliverLater(callback, context, VomuMeasurements(), 0);
        return true;
    }
    const RadioWorld &world = m_survey->world();
    if (world.wlanScanNeverAnswers()) {
        qDebug() << "RadioMeasurements::wlanWemScan() the world's scans never answer";
        return true;
    }
    const std::optional<RadioGeoPoint> at = phonePosition();
    const VomuMeasurements result = at ? m_survey->accessPoints(*at, nowSeconds()) : VomuMeasurements();
    qDebug() << "RadioMeasurements::wlanWemScan()" << result.count() << "access points, answer in"
             << world.wlanScanDelayMs() << "ms";
    scanner()->deliverLater(callback, context, result, world.wlanScanDelayMs());
    return true;
}

void RadioEnvironment::useWorld(const RadioWorld &world, const QString &path)
{
    m_survey.emplace(world);
    qDebug().noquote() << "[INFO] RadioEnvironment::refresh() world" << path << "loaded:" << world.gsmCells().size()
                       << "GSM cells," << world.wcdmaCells().size() << "WCDMA cells," << world.accessPoints().size()
                       << "access points";
    RadioPhonePosition *position = phone();
    if (!position)
        return;
    position->reset(world.startPosition());
    if (world.followPositionMessages())
        position->follow(QDBusConnection::systemBus());
    else
        position->stopFollowing();
}

void RadioEnvironment::dropWorld(const QString &reason)
{
    if (m_survey)
        qDebug().noquote() << "[INFO] RadioEnvironment::refresh() world dropped:" << reason;
    m_survey.reset();
    if (m_phone) {
        m_phone->stopFollowing();
        m_phone->reset(std::nullopt);
    }
}

RadioPhonePosition *RadioEnvironment::phone()
{
    if (!m_phone && onApplicationThread())
        m_phone = new RadioPhonePosition(QCoreApplication::instance());
    return m_phone;
}

RadioWlanScanner *RadioEnvironment::scanner()
{
    if (!m_scanner && onApplicationThread())
        m_scanner = new RadioWlanScanner(QCoreApplication::instance());
    return m_scanner;
}
