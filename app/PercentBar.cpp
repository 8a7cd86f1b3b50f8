#include "app/PercentBar.h"

#include <cmath>

namespace {
constexpr int stepsPerPercent = 10000;
}

PercentBar::PercentBar(QWidget *parent) : QProgressBar(parent)
{
    setRange(1, 100 * stepsPerPercent);
    setTextVisible(false);
    setPercent(emptyValue);
}

void PercentBar::setPercent(double percent)
{
    if (!(percent >= emptyValue && percent <= 100.0))
        percent = emptyValue;
    setValue(static_cast<int>(std::lround(percent * stepsPerPercent)));
}

double PercentBar::percent() const
{
    return static_cast<double>(value()) / stepsPerPercent;
}
