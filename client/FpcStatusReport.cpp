#include "FpcStatusReport.h"

#include <QDBusArgument>
#include <QMetaType>

namespace {

bool takeUnsigned(const QVariant &value, quint32 *out)
{
    if (value.metaType().id() != QMetaType::UInt)
        return false;
    *out = value.toUInt();
    return true;
}

bool takeStringList(const QVariant &value, QStringList *out)
{
    if (value.metaType().id() == QMetaType::QStringList) {
        *out = value.toStringList();
        return true;
    }
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("as"))
            return false;
        *out = qdbus_cast<QStringList>(argument);
        return true;
    }
    return false;
}

} // namespace

bool FpcStatusReport::fromArguments(const QVariantList &arguments, FpcStatusReport *status, QString *error)
{
    *status = FpcStatusReport();
    if (arguments.size() != 8) {
        *error = QStringLiteral("status report with %1 arguments instead of 8").arg(arguments.size());
        return false;
    }
    quint32 *const numbers[] = {&status->lastUpload, &status->fillRatio,  &status->dbSize,          &status->dbMaxSize,
                                &status->growth,     &status->dailyLimit, &status->lastUploadAmount};
    bool ok = takeStringList(arguments.at(0), &status->entries);
    for (int i = 0; ok && i < 7; ++i)
        ok = takeUnsigned(arguments.at(i + 1), numbers[i]);
    if (!ok) {
        *error = QStringLiteral("status report of unexpected types (expected as and seven u)");
        return false;
    }
    for (const QString &entry : std::as_const(status->entries))
        status->countEntry(entry);
    return true;
}

void FpcStatusReport::countEntry(const QString &entry)
{
    const QStringList parts = entry.split(QLatin1Char(':'));
    bool timeOk = false;
    bool maskOk = false;
    const qint64 ms = parts.value(0).toLongLong(&timeOk);
    const int mask = parts.value(1).toInt(&maskOk);
    const QString radio = parts.value(2);
    const bool radioOk =
        parts.size() == 2 || (parts.size() == 3 && (radio == QLatin1String("W") || radio == QLatin1String("G")));
    if (!timeOk || !maskOk || !radioOk || mask < 0 || mask > 255) {
        ++unreadable;
        return;
    }
    ++kinds[mask];
    if (radio == QLatin1String("W"))
        ++wcdma;
    else if (radio == QLatin1String("G"))
        ++gsm;
    else
        ++noRadio;
    if (oldestMs < 0 || ms < oldestMs)
        oldestMs = ms;
    if (newestMs < 0 || ms > newestMs)
        newestMs = ms;
}

bool FpcStatusReport::sameReport(const FpcStatusReport &other) const
{
    return entries == other.entries && lastUpload == other.lastUpload && fillRatio == other.fillRatio
           && dbSize == other.dbSize && dbMaxSize == other.dbMaxSize && growth == other.growth
           && dailyLimit == other.dailyLimit && lastUploadAmount == other.lastUploadAmount;
}
