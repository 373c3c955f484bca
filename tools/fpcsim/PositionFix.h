#pragma once

#include <QDBusMessage>
#include <QDateTime>
#include <QString>
#include <QVariantList>

// The fourteen values of one "positionMessage" signal, in wire order and
// with the wire types (d d d d d y q q q y y y y q). Any value a field can
// carry may be set, including NaN, infinities and impossible dates, so the
// receiver's handling of bad fixes can be exercised.
struct PositionFix
{
    // How the signal's arguments are typed. Anything but Correct produces a
    // deliberately wrong signature.
    enum class Signature {
        Correct,       // dddddyqqqyyyyq
        Int32Fields,   // the nine small integers sent as int32: dddddiiiiiiiii
        MissingMsecs,  // last argument dropped: dddddyqqqyyyy
        ExtraArgument, // a string appended: dddddyqqqyyyyqs
    };

    double lat = 61.4937;
    double lon = 21.7975;
    double alt = 100.0;
    double along = 6.0; // major axis of the 1-sigma uncertainty ellipse, metres
    double ortho = 4.0; // minor axis, metres
    quint8 angle = 0;   // ellipse orientation, degrees
    quint16 ualt = 10;  // altitude uncertainty, metres
    quint16 speed = 4;  // ground speed, km/h
    quint16 year = 1970;
    quint8 day = 1;
    quint8 month = 1;
    quint8 hours = 0;
    quint8 minutes = 0;
    quint16 msecs = 0; // seconds * 1000 + milliseconds within the minute

    // Reads a received signal's arguments; missing or mistyped ones stay at
    // the defaults.
    static PositionFix fromArguments(const QVariantList &arguments);

    // Sets the six date and time fields from a UTC instant.
    void setTime(const QDateTime &utc);
    // The date and time fields as a UTC instant; invalid for impossible dates.
    QDateTime dateTime() const;

    QVariantList arguments(Signature signature = Signature::Correct) const;
    QDBusMessage toSignal(const QString &path, const QString &interface,
                          Signature signature = Signature::Correct) const;

    // "lat=... lon=... ... msecs=..." for progress lines.
    QString describe() const;

    static QString signatureText(Signature signature);
    static bool parseSignature(const QString &name, Signature *out);
    static QStringList signatureNames();
};
