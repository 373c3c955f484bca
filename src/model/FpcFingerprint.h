#pragma once

#include "FpcPosition.h"
#include "VomuMeasurements.h"

#include <QDateTime>
#include <QMetaType>
#include <QObject>

// One radio fingerprint: time of birth, at most one GPS fix and the radio
// measurements seen there, split into serving/neighbour cell elements and
// WLAN elements, with a presence mask that every consumer reads first.
// Travels by value: copies are independent objects without parent that own
// copies of every measurement element.
class FpcFingerprint : public QObject
{
    Q_OBJECT

public:
    // dataMask bits.
    enum DataBit : quint8 { GPS = 1, Cell = 2, NeighborCell = 4, WLAN = 8 };
    // radioType values: the kind of the last serving cell stored.
    enum RadioType { RadioNone = 0, RadioWCDMA = 1, RadioGSM = 2 };

    FpcFingerprint();
    FpcFingerprint(const FpcFingerprint &other);
    FpcFingerprint &operator=(const FpcFingerprint &other);
    ~FpcFingerprint() override;

    qint64 id() const { return m_id; }
    void setId(qint64 id) { m_id = id; }
    quint8 dataMask() const { return m_dataMask; }
    // Replaces the whole mask; the stored data is left as it is.
    void setDataMask(quint8 mask) { m_dataMask = mask; }
    QDateTime time() const { return m_time; }
    void setTime(const QDateTime &time) { m_time = time; }
    int radioType() const { return m_radioType; }
    void setRadioType(int radioType) { m_radioType = radioType; }

    bool hasPosition() const { return m_dataMask & GPS; }
    bool hasMeasurements() const { return m_dataMask & (Cell | WLAN); }

    FpcPosition position() const { return m_position; }
    // Copies the fix in and sets the GPS bit.
    void setPosition(const FpcPosition &position);

    // Distributes copies of the elements of m: cell elements (GSM, WCDMA)
    // replace the cell container, WLAN elements the WLAN container, each only
    // when m holds at least one of that kind. Bits are only ever added.
    void setMeasurements(const VomuMeasurements &m);
    VomuMeasurements cellMeasurements() const { return m_cellMeasurements; }
    VomuMeasurements wlanMeasurements() const { return m_wlanMeasurements; }
    // Copies of the cell elements followed by copies of the WLAN elements.
    VomuMeasurements measurements() const;

    // Earlier time of birth sorts first.
    bool operator<(const FpcFingerprint &other) const { return m_time < other.m_time; }

    void print() const;
    // Trace dump of a measurement container, shared with the measurement
    // traces of the collector and the creator.
    static void printMeasurements(const VomuMeasurements &measurements);

    // Registers FpcFingerprint, FpcPosition and VomuMeasurements for queued
    // signal connections. Safe to call more than once.
    static void registerMetaTypes();

private:
    qint64 m_id = 0;
    quint8 m_dataMask = 0;
    QDateTime m_time;
    FpcPosition m_position;
    VomuMeasurements m_cellMeasurements;
    VomuMeasurements m_wlanMeasurements;
    int m_radioType = RadioNone;
};

Q_DECLARE_METATYPE(FpcFingerprint)
