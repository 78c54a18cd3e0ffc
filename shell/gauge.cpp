#include "shell/gauge.h"

#include <algorithm>

Gauge::Gauge(QObject *parent)
    : QObject(parent)
{
}

void Gauge::setValue(int value)
{
    const int clamped = std::clamp(value, m_min, std::max(m_min, m_max));
    if (clamped == m_value)
        return;
    m_value = clamped;
    emit changed();
}

void Gauge::setMaximum(int maximum)
{
    const int newMax = std::max(maximum, m_min);
    const int newValue = std::min(m_value, newMax);
    if (newMax == m_max && newValue == m_value)
        return;
    m_max = newMax;
    m_value = newValue;
    emit changed();
}
