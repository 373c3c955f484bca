#include "FpcCtlWait.h"

#include "FpcClient.h"
#include "FpcCtlInterrupt.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <optional>

FpcCtlWait::FpcCtlWait(FpcClient &client) : m_client(client)
{
    connect(&client, &FpcClient::daemonRunningChanged, this, [this](bool running) { m_gone = !running; });
}

FpcCtlWait::Outcome FpcCtlWait::until(const std::function<bool()> &done, int timeoutMs,
                                      const std::function<void(int)> &tick)
{
    FpcCtlInterrupt *interrupt = FpcCtlInterrupt::instance();
    auto outcome = [&]() -> std::optional<Outcome> {
        if (done())
            return Done;
        if (interrupt && interrupt->isPending())
            return Interrupted;
        if (m_gone)
            return DaemonGone;
        return std::nullopt;
    };
    if (const auto early = outcome())
        return *early;

    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    auto check = [&] {
        if (outcome())
            loop.quit();
    };
    connect(&m_client, &FpcClient::statusReceived, &loop, check);
    connect(&m_client, &FpcClient::activeGpsReceived, &loop, check);
    connect(&m_client, &FpcClient::uploadFinished, &loop, check);
    connect(&m_client, &FpcClient::daemonRunningChanged, &loop, check);
    if (interrupt)
        connect(interrupt, &FpcCtlInterrupt::interrupted, &loop, check);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QTimer ticker;
    if (tick) {
        connect(&ticker, &QTimer::timeout, &loop, [&] { tick(int(elapsed.elapsed())); });
        ticker.start(100);
        tick(0);
    }
    loop.exec();
    return outcome().value_or(TimedOut);
}
