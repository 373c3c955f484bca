#pragma once

#include "FpcPosition.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>

// The fourteen fields of the positioning daemon's "positionMessage" and
// their conversion into an FpcPosition: coordinate, uncertainty ellipse,
// altitude accuracy, ground speed and the UTC fix time given as date, hour,
// minute and milliseconds within the minute. Also builds the daemon's own
// generated fixes (--gps).
struct FpcPositionMessage
{
    // D-Bus signature of a well-formed signal.
    static constexpr const char *Signature = "dddddyqqqyyyyq";

    double lat = 0;
    double lon = 0;
    double alt = 0;
    double along = 0;  // major axis of the 1-sigma ellipse, metres
    double ortho = 0;  // minor axis, metres
    quint8 angle = 0;  // ellipse orientation, degrees
    quint16 ualt = 0;  // altitude uncertainty, metres
    quint16 speed = 0; // ground speed, km/h (65535 = not defined)
    quint16 year = 0;
    quint8 day = 0;
    quint8 month = 0;
    quint8 hours = 0;
    quint8 minutes = 0;
    quint16 msecs = 0; // seconds * 1000 + milliseconds

    // The arguments of a message whose signature is Signature.
    static FpcPositionMessage fromArguments(const QVariantList &arguments);
    // A generated fix at utc with the fixed test values.
    static FpcPositionMessage generatedFix(const QDateTime &utc);

    // The fix time in UTC; invalid for an impossible date or time (month 13,
    // hour 24, msecs 60000 and the like).
    QDateTime fixTime() const;
    // Empty when the fields can make a position; otherwise why not: a
    // coordinate that is not a number, an infinite or float-overflowing
    // altitude, an infinite or negative ellipse axis, an impossible time.
    // (Coordinates out of range are left to FpcPosition::isValid.)
    QString problem() const;
    // The position: timestamp in whole seconds, microseconds from the
    // milliseconds of msecs. Undefined values (NaN) stay undefined.
    FpcPosition toPosition() const;
};
