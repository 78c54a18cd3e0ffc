#pragma once

#include <QObject>

// The progress gauge pr1. It holds its value within its bounds: a value above
// the maximum is stored as the maximum, and lowering the maximum below the
// value lowers the value with it.
class Gauge final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Gauge)

public:
    explicit Gauge(QObject *parent = nullptr);

    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    int value() const { return m_value; }

    void setValue(int value);
    void setMaximum(int maximum);

signals:
    void changed();

private:
    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
};
