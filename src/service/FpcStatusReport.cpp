#include "FpcStatusReport.h"

#include "FpcFingerprint.h"

QString FpcStatusReport::entry(const FpcFingerprint &fp)
{
    return entry(fp.time().toMSecsSinceEpoch(), fp.dataMask(), fp.radioType());
}

QString FpcStatusReport::entry(qint64 timeMSecs, quint8 dataMask, int radioType)
{
    QString text = QString::number(timeMSecs) + QLatin1Char(':') + QString::number(dataMask);
    if (radioType == FpcFingerprint::RadioWCDMA)
        text += QLatin1String(":W");
    else if (radioType == FpcFingerprint::RadioGSM)
        text += QLatin1String(":G");
    return text;
}

QStringList FpcStatusReport::takeEntries(QList<FpcFingerprint *> &fingerprints)
{
    QStringList entries;
    entries.reserve(fingerprints.size());
    for (FpcFingerprint *fp : fingerprints) {
        if (fp)
            entries << entry(*fp);
        delete fp;
    }
    fingerprints.clear();
    return entries;
}
