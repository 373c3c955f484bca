#pragma once

#include <QMetaType>

#include <vector>

class VomuObservationElement;

// Ordered container of observation elements. It owns its elements: append
// takes over a heap element, and copying the container copies every element,
// so a copy stays valid after its source is gone.
class VomuMeasurements
{
public:
    VomuMeasurements() = default;
    VomuMeasurements(const VomuMeasurements &other);
    VomuMeasurements(VomuMeasurements &&other) noexcept;
    VomuMeasurements &operator=(const VomuMeasurements &other);
    VomuMeasurements &operator=(VomuMeasurements &&other) noexcept;
    ~VomuMeasurements();

    // Takes ownership of a heap element; a null pointer is ignored.
    void append(VomuObservationElement *element);
    int count() const { return static_cast<int>(m_elements.size()); }
    bool isEmpty() const { return m_elements.empty(); }
    // Null for an index outside 0..count()-1.
    const VomuObservationElement *element(int index) const;
    VomuObservationElement *element(int index);
    // Deletes every element.
    void clear();

private:
    std::vector<VomuObservationElement *> m_elements;
};

Q_DECLARE_METATYPE(VomuMeasurements)
