#include "RadioWlanPrivacy.h"

RadioWlanPrivacy::Verdict RadioWlanPrivacy::judge(const QString &ssid, const VomuWlanMacAddress &mac)
{
    if (isHidden(ssid))
        return Verdict::Hidden;
    if (ssid.endsWith(QLatin1String("_nomap")))
        return Verdict::OptedOut;
    if (isLocallyAdministered(mac))
        return Verdict::LocallyAdministered;
    return Verdict::Keep;
}

bool RadioWlanPrivacy::isHidden(const QString &ssid)
{
    for (const QChar c : ssid) {
        if (c != QChar(0))
            return false;
    }
    return true;
}

bool RadioWlanPrivacy::isLocallyAdministered(const VomuWlanMacAddress &mac)
{
    // A BSSID is a 48-bit address (bytes 2 to 7); its first octet carries
    // the locally administered bit that randomised addresses set. The
    // library's 64-bit form is no BSSID a device randomises: kept. An
    // address that is neither cannot be judged and is not kept.
    if (mac.is64Bit())
        return false;
    if (!mac.is48Bit())
        return true;
    return mac.macByte(2) & 0x02;
}
