#include "FpcAppConnection.h"
#include "FpcAppMapModel.h"
#include "FpcAppSettingsModel.h"
#include "FpcAppStatusModel.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTimer>

namespace {

constexpr int ScreenshotWaitMs = 8000;
constexpr int SettleMs = 700;

QString option(const QString &name)
{
    const QStringList arguments = QCoreApplication::arguments();
    const int at = arguments.indexOf(name);
    return at > 0 ? arguments.value(at + 1) : QString();
}

// --screenshot FILE: once the daemon's data is shown (or the wait is over),
// saves the window as PNG and quits; exit code 3 when the window never came up.
void takeScreenshotWhenReady(QQuickWindow *window, const QString &file, const FpcAppConnection &connection,
                             const FpcAppStatusModel &status, const FpcAppSettingsModel &settings,
                             const FpcAppMapModel &map)
{
    auto *clock = new QElapsedTimer;
    clock->start();
    auto *poll = new QTimer(window);
    QObject::connect(poll, &QTimer::timeout, window, [=, &connection, &status, &settings, &map] {
        const bool shown = connection.state() != FpcAppConnection::Ready
                           || (status.hasStatus() && settings.loaded() && !map.loading());
        if (!(window->isExposed() && shown && clock->elapsed() > SettleMs) && clock->elapsed() < ScreenshotWaitMs)
            return;
        poll->stop();
        const QImage image = window->isExposed() ? window->grabWindow() : QImage();
        const bool saved = !image.isNull() && image.save(file, "PNG");
        if (!saved)
            qCritical("vomu-fpc-app: no screenshot: the window %s",
                      window->isExposed() ? "could not be saved" : "never came up");
        delete clock;
        QCoreApplication::exit(saved ? 0 : 3);
    });
    poll->start(100);
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("vomu-fpc-app"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Fingerprint collector"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vomu-fpc-app"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/qml/vomu-fpc-app.svg")));
    // Fusion draws with the system palette, so a dark desktop gives a dark app.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE"))
        QQuickStyle::setStyle(QStringLiteral("Fusion"));

    FpcAppConnection connection;
    FpcAppStatusModel status(&connection);
    FpcAppSettingsModel settings(&connection);
    FpcAppMapModel map;

    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("daemon"), &connection);
    engine.rootContext()->setContextProperty(QStringLiteral("statusModel"), &status);
    engine.rootContext()->setContextProperty(QStringLiteral("settingsModel"), &settings);
    engine.rootContext()->setContextProperty(QStringLiteral("mapModel"), &map);
    // --page NAME opens that page first (the screenshot test walks them).
    engine.rootContext()->setContextProperty(QStringLiteral("startPage"), option(QStringLiteral("--page")));
    engine.load(QUrl(QStringLiteral("qrc:/qml/Main.qml")));
    auto *window =
        engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window)
        return 1;
    // --size WxH: a laptop window instead of the phone's 360x720.
    const QStringList size = option(QStringLiteral("--size")).split(QLatin1Char('x'));
    if (size.size() == 2 && size.at(0).toInt() > 0 && size.at(1).toInt() > 0)
        window->resize(size.at(0).toInt(), size.at(1).toInt());
    const QString screenshot = option(QStringLiteral("--screenshot"));
    if (!screenshot.isEmpty())
        takeScreenshotWhenReady(window, screenshot, connection, status, settings, map);
    connection.start();
    return app.exec();
}
