#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include "Windows1250.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace {

QByteArray AllBytes()
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

// The system's own Windows-1250: ICU through Qt on Linux, the code page 1250 tables on Windows.
QString SystemDecode(const QByteArray& bytes)
{
#ifdef _WIN32
    std::wstring wide(static_cast<std::size_t>(bytes.size()), L'\0');
    const int n = MultiByteToWideChar(1250, 0, bytes.constData(), static_cast<int>(bytes.size()),
                                      wide.data(), static_cast<int>(wide.size()));
    return QString::fromWCharArray(wide.data(), n);
#else
    QStringDecoder decoder("windows-1250");
    EXPECT_TRUE(decoder.isValid());
    return decoder.decode(bytes);
#endif
}

bool SystemEncode(const QString& text, QByteArray& bytes)
{
#ifdef _WIN32
    const std::wstring wide = text.toStdWString();
    bytes.resize(static_cast<qsizetype>(wide.size()) * 2 + 1);
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(1250, WC_NO_BEST_FIT_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, &usedDefault);
    bytes.resize(n);
    return !usedDefault;
#else
    QStringEncoder encoder("windows-1250");
    bytes = encoder.encode(text);
    return !encoder.hasError();
#endif
}

}  // namespace

TEST(Windows1250, EveryByteDecodesAndEncodesAsTheSystemCodePageDoes)
{
    const QByteArray all = AllBytes();
    const QString expected = SystemDecode(all);
    ASSERT_EQ(expected.size(), 256);
    const QString decoded = Windows1250::Decode(all);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(decoded.at(i).unicode(), expected.at(i).unicode()) << "byte " << i;

    for (int i = 0; i < 256; ++i) {
        char byte = 0;
        ASSERT_TRUE(Windows1250::FromUnicode(decoded.at(i), byte)) << "byte " << i;
        EXPECT_EQ(static_cast<unsigned char>(byte), i);
    }
    QByteArray ours;
    QByteArray theirs;
    EXPECT_TRUE(Windows1250::Encode(decoded, ours));
    EXPECT_TRUE(SystemEncode(decoded, theirs));
    EXPECT_EQ(ours, all);
    EXPECT_EQ(theirs, all);
}

TEST(Windows1250, CharactersOutsideTheCodePageAreReported)
{
    // Latin-1 letters that Windows-1250 replaced, and other scripts.
    for (const char16_t code : {u'\u00C0', u'\u00E5', u'\u00FF', u'\u0416', u'\u4E2D', u'\uFFFD'}) {
        char byte = 'x';
        EXPECT_FALSE(Windows1250::FromUnicode(QChar(code), byte)) << int(code);
        QByteArray theirs;
        EXPECT_FALSE(SystemEncode(QString(QChar(code)), theirs)) << int(code);
    }
    // Either half of a character beyond U+FFFF.
    QByteArray pair;
    EXPECT_FALSE(Windows1250::Encode(QString::fromUtf8("\U0001F600"), pair));
    EXPECT_TRUE(pair.isEmpty());
    QByteArray bytes;
    EXPECT_FALSE(Windows1250::Encode(QString::fromUtf8("Pokój \u00C0 1"), bytes));
    EXPECT_EQ(bytes, QByteArray("Pok\xF3j  1"));
}
