#include "FpcCtlKind.h"

#include <QStringList>

QString FpcCtlKind::name(int dataMask)
{
    if (dataMask < 0 || dataMask > 15)
        return QStringLiteral("unknown (%1)").arg(dataMask);
    if (dataMask == 0)
        return QStringLiteral("empty");
    QStringList parts;
    if (dataMask & Cell)
        parts << QStringLiteral("Cell");
    if (dataMask & Wlan)
        parts << QStringLiteral("WLAN");
    if (dataMask & Gps)
        parts << QStringLiteral("GPS");
    if (dataMask & NeighborCell)
        parts << QStringLiteral("NeighborCell");
    return parts.join(QStringLiteral(" + "));
}

QString FpcCtlKind::colour(int dataMask)
{
    switch (dataMask) {
    case 15:
        return QStringLiteral("#1f77b4");
    case 11:
        return QStringLiteral("#ff7f0e");
    case 7:
        return QStringLiteral("#2ca02c");
    case 3:
        return QStringLiteral("#d62728");
    case 9:
        return QStringLiteral("#9467bd");
    case 13:
        return QStringLiteral("#8c564b");
    case 5:
        return QStringLiteral("#e377c2");
    case 1:
        return QStringLiteral("#17becf");
    default:
        return QStringLiteral("#7f7f7f");
    }
}

QString FpcCtlKind::radioName(int radio)
{
    switch (radio) {
    case Wcdma:
        return QStringLiteral("WCDMA");
    case Gsm:
        return QStringLiteral("GSM");
    default:
        return QString();
    }
}
