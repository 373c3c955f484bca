#include "VomuMeasurements.h"

#include "VomuObservationElement.h"

#include <utility>

VomuMeasurements::VomuMeasurements(const VomuMeasurements &other)
{
    m_elements.reserve(other.m_elements.size());
    for (const VomuObservationElement *element : other.m_elements)
        m_elements.push_back(element->clone());
}

VomuMeasurements::VomuMeasurements(VomuMeasurements &&other) noexcept : m_elements(std::move(other.m_elements))
{
    other.m_elements.clear();
}

VomuMeasurements &VomuMeasurements::operator=(const VomuMeasurements &other)
{
    if (this != &other) {
        VomuMeasurements copy(other);
        std::swap(m_elements, copy.m_elements);
    }
    return *this;
}

VomuMeasurements &VomuMeasurements::operator=(VomuMeasurements &&other) noexcept
{
    if (this != &other) {
        clear();
        std::swap(m_elements, other.m_elements);
    }
    return *this;
}

VomuMeasurements::~VomuMeasurements()
{
    clear();
}

void VomuMeasurements::append(VomuObservationElement *element)
{
    if (element)
        m_elements.push_back(element);
}

const VomuObservationElement *VomuMeasurements::element(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_elements[static_cast<size_t>(index)];
}

VomuObservationElement *VomuMeasurements::element(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_elements[static_cast<size_t>(index)];
}

void VomuMeasurements::clear()
{
    for (VomuObservationElement *element : m_elements)
        delete element;
    m_elements.clear();
}
