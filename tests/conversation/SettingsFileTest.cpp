#include "SettingsFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList Names()
{
    QStringList lines{"----------", "/dev/ttyUSB0", "----------"};
    for (int k = 1; k <= 16; ++k)
        lines << QStringLiteral("%1 wejście").arg(k);
    lines << "----------" << "----------";
    for (int k = 1; k <= 16; ++k)
        lines << QStringLiteral("%1 urządzenie").arg(k);
    return lines;
}

TEST(SettingsFile, LinesEndAnyWayAndMissingLinesReadEmpty)
{
    const QStringList lines = SettingsFile::ParseLines("a\r\nb\rc\nd\r\n\r\nf");
    EXPECT_EQ(lines, (QStringList{"a", "b", "c", "d", "", "f"}));
    EXPECT_EQ(SettingsFile::Line(lines, 5), "f");
    EXPECT_EQ(SettingsFile::Line(lines, 6), QString());
    EXPECT_EQ(SettingsFile::Line(lines, -1), QString());
    // A final line end adds no empty line; CR at the very end pairs with nothing.
    EXPECT_EQ(SettingsFile::ParseLines("a\r\n").size(), 1);
    EXPECT_EQ(SettingsFile::ParseLines("a\r").size(), 1);
    EXPECT_EQ(SettingsFile::ParseLines("\n\n").size(), 2);
    EXPECT_TRUE(SettingsFile::ParseLines("").isEmpty());
}

TEST(SettingsFile, ComposeWritesCrLfAfterEveryLine)
{
    EXPECT_EQ(SettingsFile::Compose({"a", "", "b c"}), QByteArray("a\r\n\r\nb c\r\n"));
}

TEST(SettingsFile, EncodingRoundTrips)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");

    // Polish names fit Windows-1250, which the existing installations use.
    const QStringList polish = Names() << "----------";
    SettingsFile::Save(path, polish);
    const QByteArray bytes = ReadAll(path);
    EXPECT_TRUE(bytes.contains("1 wej\x9C" "cie\r\n")) << bytes.left(80).toHex().constData();
    EXPECT_TRUE(bytes.contains("1 urz\xB9" "dzenie\r\n"));
    QStringList back;
    ASSERT_TRUE(SettingsFile::Load(path, back));
    EXPECT_EQ(back, polish);

    // A name outside Windows-1250 makes the whole file UTF-8, so no name is lost.
    QStringList mixed = polish;
    mixed[3] = QStringLiteral("Küche ñ 客厅");
    SettingsFile::Save(path, mixed);
    EXPECT_TRUE(ReadAll(path).contains(QStringLiteral("Küche ñ 客厅").toUtf8()));
    ASSERT_TRUE(SettingsFile::Load(path, back));
    EXPECT_EQ(back, mixed);

    // Windows-1250 text whose bytes happen to be valid UTF-8 still reads back unchanged.
    const QStringList tricky{QStringLiteral("Ćś"), QStringLiteral("Łódź")};
    SettingsFile::Save(path, tricky);
    ASSERT_TRUE(SettingsFile::Load(path, back));
    EXPECT_EQ(back, tricky);

    // A file from a Windows installation, with a cp1250 byte right before a line end.
    WriteAll(path, "Sypialnia \xA3\xF3\x9F\r\nKuchnia \xA3\r\nPok\xF3j");
    ASSERT_TRUE(SettingsFile::Load(path, back));
    EXPECT_EQ(back, (QStringList{QStringLiteral("Sypialnia Łóź"), QStringLiteral("Kuchnia Ł"),
                                 QStringLiteral("Pokój")}));
}

TEST(SettingsFile, WhatIsWrittenReadsBackUnchanged)
{
    // Files as they may come: mixed encodings, broken or overlong UTF-8, surrogates, a byte
    // order mark, bytes Windows-1250 leaves undefined.
    const QByteArray files[] = {
        "\xEF\xBB\xBF----------\r\nCOM1\r\n",
        "\xEF\xBB\xBF\xEF\xBB\xBFx\n",
        "Pok\xC3\xB3j\r\nPok\xF3j\r\n",       // one UTF-8 line, one Windows-1250 line
        "\xC0\xAF\r\n",                         // overlong '/'
        "\xED\xA0\x80\r\n",                     // a surrogate
        "\xF4\x90\x80\x80\r\n",                 // past U+10FFFF
        "\x81\x83\x88\x90\x98\r\n",             // undefined in Windows-1250
        "\xC5\x9B\xC5",                          // UTF-8 cut off at the end of the file
        "\xE2\x82\xAC \xF0\x9F\x92\xA1\r\n",     // euro sign and an emoji, valid UTF-8
    };
    for (const QByteArray& bytes : files) {
        const QStringList lines = SettingsFile::ParseLines(bytes);
        EXPECT_EQ(SettingsFile::ParseLines(SettingsFile::Compose(lines)), lines) << bytes.toHex().constData();
    }
    EXPECT_EQ(SettingsFile::ParseLines("Pok\xC3\xB3j\r\nPok\xF3j\r\n"),
              (QStringList{QStringLiteral("PokĂłj"), QStringLiteral("Pokój")}));
    EXPECT_EQ(SettingsFile::ParseLines("\xE2\x82\xAC \xF0\x9F\x92\xA1"),
              QStringList{QStringLiteral("€ \U0001F4A1")});
}

TEST(SettingsFile, ReadingIsBoundedForHugeFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    {
        // 38 overlong lines, 2000 further ones, and then a lot more without any line break.
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray longLine = QByteArray(10000, 'x') + "\r\n";
        for (int i = 0; i < 38; ++i)
            f.write(longLine);
        for (int i = 0; i < 2000; ++i)
            f.write("extra\r\n");
        const QByteArray block(1 << 20, 'y');
        for (int i = 0; i < 64; ++i)
            f.write(block);
    }
    QStringList lines;
    ASSERT_TRUE(SettingsFile::Load(path, lines));
    ASSERT_EQ(lines.size(), SettingsFile::kMaxLines);
    for (const QString& l : lines)
        EXPECT_EQ(l.size(), SettingsFile::kMaxLineLength);

    // One endless line: a device never ends, so only the byte limit can stop the read.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(SettingsFile::Load("/dev/zero", lines));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(5));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].size(), SettingsFile::kMaxLineLength);

    // Multi-byte text cut at the limit stays UTF-8 (no mojibake from the cut).
    QByteArray utf8Line;
    while (utf8Line.size() < 20000)
        utf8Line += "ż";
    WriteAll(path, utf8Line + "\r\nnext");
    ASSERT_TRUE(SettingsFile::Load(path, lines));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QString(SettingsFile::kMaxLineLength, QChar(0x17C)));
    EXPECT_EQ(lines[1], "next");
}

TEST(SettingsFile, LockRewriteAlwaysHas38Lines)
{
    QStringList shortFile{"----------", "COM3"};
    const QStringList out = SettingsFile::WithLockMarker(shortFile, SettingsFile::kLockedMarker);
    ASSERT_EQ(out.size(), 38);
    EXPECT_EQ(out[1], "COM3");
    EXPECT_EQ(out[36], QString());
    EXPECT_EQ(out[37], " ---------");

    QStringList longFile = Names();
    for (int i = 0; i < 5; ++i)
        longFile << "old";
    const QStringList out2 = SettingsFile::WithLockMarker(longFile, SettingsFile::kUnlockedMarker);
    ASSERT_EQ(out2.size(), 38);
    EXPECT_EQ(out2.mid(0, 37), Names());
    EXPECT_EQ(out2[37], "----------");
}

TEST(SettingsFile, SaveIsAtomicForConcurrentReaders)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QStringList a = Names() << SettingsFile::kUnlockedMarker;
    QStringList b = Names() << SettingsFile::kLockedMarker;
    for (int i = 3; i < 19; ++i)
        b[i] = QString(300, QLatin1Char('b'));   // a different size, so a torn file shows
    SettingsFile::Save(path, a);

    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, torn{0};
    std::thread reader([&] {
        QStringList got;
        while (!done) {
            if (!SettingsFile::Load(path, got)) {
                ++torn;   // the file must never be missing either
                continue;
            }
            ++reads;
            if (got != a && got != b)
                ++torn;
#ifdef _WIN32
            // Windows cannot replace a file while it is open, so a reader that never lets go
            // would starve every save; the console's lock watch looks every 20 ms.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
#endif
        }
    });
    for (int i = 0; i < 300; ++i)
        SettingsFile::Save(path, (i % 2) ? a : b);
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(torn.load(), 0);
    // No temporary files are left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"config.ini"});
}

TEST(SettingsFile, FailedSaveThrowsAndLeavesNoFile)
{
    QTemporaryDir dir;
    const QString missingDir = dir.filePath("no/such/dir/config.ini");
    EXPECT_THROW(SettingsFile::Save(missingDir, Names()), SettingsFile::EFileError);
    EXPECT_FALSE(QFile::exists(missingDir));

    // A directory in the file's place stays as it is.
    const QString path = dir.filePath("config.ini");
    ASSERT_TRUE(QDir(dir.path()).mkdir("config.ini"));
    try {
        SettingsFile::Save(path, Names());
        ADD_FAILURE() << "save over a directory succeeded";
    } catch (const SettingsFile::EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("config.ini"), std::string::npos);
    }
    EXPECT_TRUE(QFileInfo(path).isDir());

    QStringList lines{"stale"};
    EXPECT_FALSE(SettingsFile::Load(dir.filePath("absent.ini"), lines));
    EXPECT_TRUE(lines.isEmpty());
}

}  // namespace
