#pragma once

#include "VomuPosition.h"

#include <QDateTime>
#include <QMetaType>
#include <QtGlobal>

// One GPS fix: the platform position plus the 1-sigma uncertainty ellipse,
// the ground speed and the database id of the fingerprint that owns it.
// NaN marks every value that is not defined and a timestamp of 0 a fix
// without GPS time. Carries the encodings of the fingerprint report.
class FpcPosition : public VomuPosition
{
public:
    // Metres; NaN = not defined. Read and written directly.
    double majorAxis;
    double minorAxis;

    FpcPosition();
    FpcPosition(const FpcPosition &other) = default;
    FpcPosition &operator=(const FpcPosition &other) = default;
    ~FpcPosition() override;

    void setDatumId(VomuDatum datum) override;
    void externalize(std::string &out) const override;
    bool internalize(const std::string &xml) override;

    void setUncertaintyEllipse(quint8 offsetAngle, double majorAxis, double minorAxis);
    quint8 offsetAngle() const { return m_offsetAngle; }
    // km/h, 65535 = not defined.
    void setGroundSpeed(quint16 kmh) { m_groundSpeed = kmh; }
    quint16 groundSpeed() const { return m_groundSpeed; }
    void setFpId(qint64 fpId) { m_fpId = fpId; }
    qint64 fpId() const { return m_fpId; }

    // Fix time in UTC, with millisecond resolution.
    QDateTime dateTime() const;
    // Milliseconds since 0000-01-01 00:00 UTC; 0 for a fix without time.
    quint64 gpsTimeMSecs() const;
    // Haversine distance in metres on a sphere of radius 6371009 m.
    double distanceTo(const FpcPosition &other) const;
    // Altitude rounded to whole metres and clamped; 32767 when not defined.
    qint16 altitudeInt16() const;

    bool isValid() const;
    // Coordinates scaled to the signed 32-bit range (90 resp. 180 degrees =
    // 2^31, saturated); 0 when not defined.
    qint32 latitudeNormalized() const;
    qint32 longitudeNormalized() const;

    // Presence mask: 1 GPS time, 2 CEP68 (clear: ellipse), 4 altitude.
    quint8 uncertainty() const;
    // CEP68 radius in metres: the horizontal accuracy, else derived from the
    // ellipse, else NaN.
    float cep68() const;

    // K code of a distance r in metres, r = 5 * (1.02^K - 1), 0..255.
    static quint8 kValue(double metres);
    quint8 majorAxisK() const;
    quint8 minorAxisK() const;
    quint8 altitudeAccuracyK() const;
    quint8 cep68K() const;

    void print() const;

private:
    quint8 m_offsetAngle = 0;
    quint16 m_groundSpeed = 65535;
    qint64 m_fpId = 0;
};

Q_DECLARE_METATYPE(FpcPosition)
