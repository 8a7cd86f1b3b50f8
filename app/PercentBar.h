#pragma once

#include <QProgressBar>

// The progress bar `prgFile`: a percentage from 0.0001 (empty) to 100, in steps of 0.0001.
class PercentBar : public QProgressBar {
    Q_OBJECT
public:
    static constexpr double emptyValue = 0.0001;

    explicit PercentBar(QWidget *parent = nullptr);

    // A percentage outside 0.0001..100 shows as the empty bar, never out of range.
    void setPercent(double percent);
    double percent() const;
};
