#include "VomuObservationElement.h"

VomuObservationElement::VomuObservationElement(int elementId) : m_elementId(elementId) {}

VomuObservationElement::~VomuObservationElement() = default;
