#include "platform/EightBitText.h"

#include <gtest/gtest.h>

TEST(EightBitText, ValidUtf8StaysUtf8AndEverythingElseIsWindows1252)
{
    EXPECT_EQ(EightBitText::decode(QByteArrayLiteral("/musik/Låt €.mp3")), QStringLiteral("/musik/Låt €.mp3"));
    EXPECT_EQ(EightBitText::decode(QByteArray("C:\\Musik\\L\xE5t \x80 \x93x\x94.mp3")),
              QStringLiteral("C:\\Musik\\Låt € “x”.mp3"));
    // Bytes the code page leaves open read as the control of the same number, as on Windows.
    EXPECT_EQ(EightBitText::fromWindows1252(QByteArray("\x81\x8D\x8F\x90\x9D")),
              QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D"));
    EXPECT_EQ(EightBitText::encode(QStringLiteral("Låt.mp3")), QByteArrayLiteral("Låt.mp3"));
}
