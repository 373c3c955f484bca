#include "FpcStatusReport.h"

#include "FpcFingerprint.h"

QString FpcStatusReport::entry(const FpcFingerprint &fp)
{
    QString text = QString::number(fp.time().toMSecsSinceEpoch()) + QLatin1Char(':')
        + QString::number(fp.dataMask());
    if (fp.radioType() == FpcFingerprint::RadioWCDMA)
        text += QLatin1String(":W");
    else if (fp.radioType() == FpcFingerprint::RadioGSM)
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
