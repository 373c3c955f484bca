#pragma once

#include <QString>

// Subscriber and equipment identity from ModemManager: the SIM's Imsi and
// the modem's EquipmentIdentifier (the IMEI on a 3GPP modem). Empty when
// there is no modem, no SIM, or the value is not a string of digits.
class ModemIdentity
{
public:
    static QString imsi();
    static QString imei();

private:
    static QString digitsOnly(const QString &value, const char *what);
};
