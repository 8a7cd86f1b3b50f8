#pragma once

#include <QObject>
#include <QString>

// The chunk size `TransferPartBytes` and the caption of the speed button `cmdSpeed` that
// switches it between low and high.
class TransferSpeed : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 lowBytes = 4000;
    static constexpr qint64 highBytes = 200000;

    explicit TransferSpeed(QObject *parent = nullptr) : QObject(parent) {}

    qint64 TransferPartBytes() const { return m_bytes; }
    QString caption() const;

    // High after low; low after anything else.
    void cmdSpeed_Click();
    // Every run starts at low speed.
    void setLow();

Q_SIGNALS:
    void captionChanged(const QString &caption);

private:
    qint64 m_bytes = lowBytes;
};
