#include "FpServerProcess.h"

#include "TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QSaveFile>

FpServerProcess::FpServerProcess(const QString &storeDirectory) : m_store(storeDirectory) {}

FpServerProcess::~FpServerProcess()
{
    stop();
}

bool FpServerProcess::start(const QString &mode, int timeoutMs)
{
    QDir().mkpath(m_store);
    const QString portFile = m_store + QStringLiteral("/port");
    QFile::remove(portFile);
    TestSupport::dieWithParent(m_process);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(FPCD_PYTHON3),
                    {QStringLiteral(FPCD_FPSERVER), QStringLiteral("--store"), m_store, QStringLiteral("--port"),
                     QStringLiteral("0"), QStringLiteral("--port-file"), portFile, QStringLiteral("--mode"), mode});
    const bool listening = TestSupport::waitFor(
        [&] {
            return m_process.state() == QProcess::NotRunning || TestSupport::readFile(portFile).trimmed().toUInt() != 0;
        },
        timeoutMs);
    m_port = quint16(TestSupport::readFile(portFile).trimmed().toUInt());
    if (!listening || m_port == 0) {
        m_error = QStringLiteral("fpserver did not come up (%1, exit code %2)")
                      .arg(m_process.errorString())
                      .arg(m_process.exitCode());
        stop();
        return false;
    }
    return true;
}

void FpServerProcess::stop()
{
    TestSupport::stopProcess(m_process, 5000);
}

QString FpServerProcess::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

// The server reads its control file at every upload.
bool FpServerProcess::setMode(const QString &mode)
{
    QSaveFile file(m_store + QStringLiteral("/mode"));
    return file.open(QIODevice::WriteOnly) && file.write(mode.toUtf8() + '\n') > 0 && file.commit();
}

int FpServerProcess::uploadCount() const
{
    return readLines().size();
}

QByteArray FpServerProcess::uploadBody(int number) const
{
    return TestSupport::readFile(m_store + QStringLiteral("/upload-%1.fpr").arg(number, 6, 10, QLatin1Char('0')));
}

// Only whole lines count: the server may be writing the last one.
QList<QJsonObject> FpServerProcess::readLines(const QString &fileName) const
{
    QList<QJsonObject> objects;
    const QByteArray text = TestSupport::readFile(m_store + QLatin1Char('/') + fileName);
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QJsonDocument document = QJsonDocument::fromJson(lines.at(i));
        if (document.isObject())
            objects.append(document.object());
    }
    return objects;
}
