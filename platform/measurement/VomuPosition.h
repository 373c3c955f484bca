#pragma once

#include <string>

// Geodetic datum of a position. Only WGS 84 is in use.
enum VomuDatum { VomuDatumWGS84 = 0 };

// A position as the platform libraries exchange it. Every coordinate,
// altitude and accuracy is NaN until set, and the timestamp is 0 (no time),
// so "not defined" can always be told from a real value.
//
// XML text (externalize / internalize):
//   <position lat="60.1699" lon="24.9384" alt="12.5" hAcc="8" altAcc="15"
//             timestamp="1700000000" usec="250000" datum="0"/>
// lat -90..90, lon -180..180 (degrees, decimal or exponent form); alt
// (metres) any finite value; hAcc, altAcc (metres) 0 or more; timestamp
// (seconds since the Unix epoch) 0 or more; usec 0..999999; datum a
// VomuDatum. An undefined value is left out. internalize refuses the whole
// text when an attribute is malformed or out of range, and leaves the
// position untouched then.
class VomuPosition
{
public:
    VomuPosition();
    VomuPosition(const VomuPosition &) = default;
    VomuPosition &operator=(const VomuPosition &) = default;
    virtual ~VomuPosition();

    double latitude() const { return m_latitude; }
    double longitude() const { return m_longitude; }
    float altitude() const { return m_altitude; }
    // Horizontal accuracy in metres (CEP68 radius).
    float horizontalAccuracy() const { return m_horizontalAccuracy; }
    float altitudeAccuracy() const { return m_altitudeAccuracy; }
    long timestamp() const { return m_timestamp; }
    unsigned timestampMicroseconds() const { return m_timestampMicroseconds; }
    VomuDatum datumId() const { return m_datum; }

    void setCoordinate(double latitude, double longitude, float altitude);
    void setCoordinate(double latitude, double longitude);
    void setAltitude(float altitude) { m_altitude = altitude; }
    void setHorizontalAccuracy(float metres) { m_horizontalAccuracy = metres; }
    void setAltitudeAccuracy(float metres) { m_altitudeAccuracy = metres; }
    void setTimestamp(long seconds) { m_timestamp = seconds; }
    void setTimestampMicroseconds(unsigned microseconds) { m_timestampMicroseconds = microseconds; }

    virtual void setDatumId(VomuDatum datum);
    // Writes the position as its XML text into out (replacing its content).
    virtual void externalize(std::string &out) const;
    // Reads the base position fields from an XML text; false on a bad text.
    virtual bool internalize(const std::string &xml);

private:
    double m_latitude;
    double m_longitude;
    float m_altitude;
    float m_horizontalAccuracy;
    float m_altitudeAccuracy;
    long m_timestamp = 0;
    unsigned m_timestampMicroseconds = 0;
    VomuDatum m_datum = VomuDatumWGS84;
};
