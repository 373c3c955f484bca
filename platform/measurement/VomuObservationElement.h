#pragma once

#include <string>

// Base of every radio observation the measurement library delivers. The
// element id tells the concrete kind: 1 GSM serving cell (VomuElementGSM),
// 2 WCDMA serving cell (VomuElementWCDMA), 4 WLAN access point
// (VomuElementWLAN). Consumers skip any other id.
class VomuObservationElement
{
public:
    enum ElementId { ElementIdGSM = 1, ElementIdWCDMA = 2, ElementIdWLAN = 4 };

    virtual ~VomuObservationElement();

    int elementId() const { return m_elementId; }
    // Seconds since the Unix epoch at which the observation was made.
    long timestamp() const { return m_timestamp; }
    void setTimestamp(long seconds) { m_timestamp = seconds; }

    // Heap copy of the concrete element; the caller owns it.
    virtual VomuObservationElement *clone() const = 0;

    // Replaces the element's content with the observation described by an
    // XML text (syntax in each element's header). Returns false and leaves
    // the element untouched when the text is malformed or holds a value that
    // cannot be stored.
    virtual bool internalize(const std::string &xml) = 0;

protected:
    explicit VomuObservationElement(int elementId);
    VomuObservationElement(const VomuObservationElement &) = default;
    VomuObservationElement &operator=(const VomuObservationElement &) = default;

private:
    int m_elementId;
    long m_timestamp = 0;
};
