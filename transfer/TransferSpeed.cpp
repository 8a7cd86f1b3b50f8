#include "transfer/TransferSpeed.h"

QString TransferSpeed::caption() const
{
    return m_bytes == highBytes ? QStringLiteral("Hastighet: Hög") : QStringLiteral("Hastighet: Låg");
}

void TransferSpeed::cmdSpeed_Click()
{
    m_bytes = m_bytes == lowBytes ? highBytes : lowBytes;
    Q_EMIT captionChanged(caption());
}

void TransferSpeed::setLow()
{
    m_bytes = lowBytes;
    Q_EMIT captionChanged(caption());
}
