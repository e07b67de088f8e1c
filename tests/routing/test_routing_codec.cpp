#include "RoutingBackup.h"
#include "RoutingChanges.h"
#include "RoutingReply.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using Routing::TRoutingCells;

namespace {

QString Utf8(const char* s)
{
    return QString::fromUtf8(s);
}

// A table with full and empty outputs and cells at every edge.
TRoutingCells Sample()
{
    TRoutingCells cells;
    for (int k = 1; k <= 16; ++k)
        for (int j = 1; j <= 16; ++j)
            cells.Set(k, j, j == 2 || (j != 9 && (k * 7 + j * 3) % 5 == 0) || (k == 16 && j == 16));
    return cells;
}

int LineOf(const std::function<void()>& parse)
{
    try {
        parse();
    } catch (const Routing::EBackupError& e) {
        return e.Line();
    }
    return -1;
}

}  // namespace

TEST(RoutingReply, BlocksAreOutputsWithInputSixteenFirst)
{
    QByteArray reply(256, '0');
    reply[0] = '1';     // output 1, input 16
    reply[12] = '1';    // output 1, input 4
    reply[15] = '1';    // output 1, input 1
    reply[16] = '1';    // output 2, input 16
    reply[255] = '1';   // output 16, input 1
    const auto cells = Routing::DecodeReplyStrict(reply);
    ASSERT_TRUE(cells.has_value());
    EXPECT_EQ(cells->Connections(), 5);
    EXPECT_TRUE(cells->At(16, 1));
    EXPECT_TRUE(cells->At(4, 1));
    EXPECT_TRUE(cells->At(1, 1));
    EXPECT_TRUE(cells->At(16, 2));
    EXPECT_TRUE(cells->At(1, 16));
    // Written back, input 1 goes first in each group.
    std::string wire(256, '0');
    wire[0] = wire[3] = wire[15] = wire[31] = wire[240] = '1';
    EXPECT_EQ(cells->WireText(), wire);
    EXPECT_EQ(Routing::DecodeReplyLenient(reply), *cells);
}

TEST(RoutingReply, StrictTakesOnlyAWholeCleanReplyWhereTheViewMakesDo)
{
    QByteArray full(256, '1');
    QByteArray shortReply = full.left(255);
    QByteArray longReply = full + '1';
    QByteArray withX = full;
    withX[100] = 'x';
    QByteArray withCr = full;
    withCr[0] = '\r';
    for (const QByteArray& bad : {shortReply, longReply, withX, withCr, QByteArray()})
        EXPECT_FALSE(Routing::DecodeReplyStrict(bad).has_value()) << bad.size();

    EXPECT_EQ(Routing::DecodeReplyLenient(shortReply).Connections(), 255);
    EXPECT_FALSE(Routing::DecodeReplyLenient(shortReply).At(1, 16));
    EXPECT_EQ(Routing::DecodeReplyLenient(longReply).Connections(), 256);
    EXPECT_EQ(Routing::DecodeReplyLenient(withX).Connections(), 255);
    EXPECT_FALSE(Routing::DecodeReplyLenient(withX).At(12, 7));   // position 100
    EXPECT_EQ(Routing::DecodeReplyLenient(QByteArray()).Connections(), 0);
}

TEST(RoutingChanges, CountsWhatAWriteAddsAndRemoves)
{
    const TRoutingCells held = Sample();
    TRoutingCells wanted = held;
    EXPECT_TRUE(Routing::CountChanges(held, wanted).None());
    wanted.Set(3, 9, true);     // added
    wanted.Set(3, 10, true);    // added unless held
    wanted.Set(16, 16, false);  // removed
    wanted.Set(1, 2, false);    // removed
    ASSERT_TRUE(held.At(16, 16) && held.At(1, 2) && !held.At(3, 9));
    const Routing::TRoutingChanges all = Routing::CountChanges(held, wanted);
    EXPECT_EQ(all.added, held.At(3, 10) ? 1 : 2);
    EXPECT_EQ(all.removed, 2);
    EXPECT_EQ(Routing::CountColumnChanges(held, wanted, 3).added, all.added);
    EXPECT_EQ(Routing::CountColumnChanges(held, wanted, 3).removed, 0);
    EXPECT_EQ(Routing::CountColumnChanges(held, wanted, 16).removed, 1);
    EXPECT_TRUE(Routing::CountColumnChanges(held, wanted, 5).None());
    // Against an empty controller everything is added; an empty matrix removes everything.
    EXPECT_EQ(Routing::CountChanges(TRoutingCells{}, held).added, held.Connections());
    EXPECT_EQ(Routing::CountChanges(held, TRoutingCells{}).removed, held.Connections());
}

class RoutingBackupFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        backup.port = QStringLiteral("/dev/ttyUSB0");
        for (int k = 1; k <= 16; ++k)
            backup.inputNames << QStringLiteral("Wejście %1").arg(k);
        for (int j = 1; j <= 16; ++j)
            backup.outputNames << QStringLiteral("Wyjście %1").arg(j);
        // Windows-1250 letters, text beyond it, separators and blanks of the format itself.
        backup.inputNames[0] = Utf8("Łazienka: ściemniacz, żółty");
        backup.inputNames[1] = Utf8("ĄĆĘŁŃÓŚŹŻ ąćęłńóśźż");
        backup.inputNames[2] = Utf8("Küche ☀ 厨房 😀");
        backup.inputNames[3] = QString();
        backup.outputNames[0] = Utf8("  wcięta nazwa ");
        backup.outputNames[15] = Utf8("Światło 1 = 0");
        backup.cells = Sample();
    }
    QString Path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
    Routing::TRoutingBackup backup;
};

TEST_F(RoutingBackupFile, WrittenAndReadBackGivesTheSameTableAndNames)
{
    const QString path = Path("dom.txt");
    Routing::SaveBackup(path, backup);
    const Routing::TRoutingBackup read = Routing::LoadBackup(path);
    EXPECT_EQ(read.cells, backup.cells);
    EXPECT_EQ(read.port, backup.port);
    EXPECT_EQ(read.inputNames, backup.inputNames);
    EXPECT_EQ(read.outputNames, backup.outputNames);
    EXPECT_TRUE(Routing::NameDifferences(read, backup.inputNames, backup.outputNames).isEmpty());

    // Text for people: UTF-8, CR LF after every line, the inputs of each output by name.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    const QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
    EXPECT_TRUE(lines.contains(Utf8("Wyjściem 2 sterują: Łazienka: ściemniacz, żółty, "
                                    "ĄĆĘŁŃÓŚŹŻ ąćęłńóśźż, Küche ☀ 厨房 😀, wejście 4, Wejście 5, "
                                    "Wejście 6, Wejście 7, Wejście 8, Wejście 9, Wejście 10, "
                                    "Wejście 11, Wejście 12, Wejście 13, Wejście 14, Wejście 15, "
                                    "Wejście 16")));
    EXPECT_TRUE(lines.contains(Utf8("Wyjściem 9 sterują: (żadne)")));
    EXPECT_TRUE(lines.contains(QStringLiteral("1111111111111111")));

    // Edited with LF line ends, the file still reads the same.
    QByteArray lf = bytes;
    lf.replace("\r\n", "\n");
    EXPECT_EQ(Routing::ParseBackup(lf).cells, backup.cells);

    // Names that differ from config.ini: one entry each, the cells still count.
    QStringList inputs = backup.inputNames, outputs = backup.outputNames;
    inputs[2] = QStringLiteral("Kuchnia");
    outputs[15] = QString();
    const QStringList diff = Routing::NameDifferences(read, inputs, outputs);
    ASSERT_EQ(diff.size(), 2);
    EXPECT_EQ(diff[0], Utf8("Wejście 3: w pliku „Küche ☀ 厨房 😀”, w config.ini „Kuchnia”"));
    EXPECT_TRUE(diff[1].startsWith(Utf8("Wyjście 16:")));
}

TEST_F(RoutingBackupFile, ABadFileNamesTheLineAtFault)
{
    const QByteArray good = Routing::ComposeBackup(backup);
    const QList<QByteArray> lines = good.split('\n');
    ASSERT_EQ(lines.size(), 68);   // 67 lines and the empty rest after the last CR LF
    auto parse = [](const QByteArray& data) { return [data] { Routing::ParseBackup(data); }; };
    auto upTo = [&](int n) { return lines.mid(0, n).join('\n') + '\n'; };

    // Cut inside the fifth table row, and after line 40.
    EXPECT_EQ(LineOf(parse(upTo(55) + lines[55].left(7))), 56);
    EXPECT_EQ(LineOf(parse(upTo(40))), 41);
    // A 17th column, a foreign character, an extra line after the table.
    QList<QByteArray> edited = lines;
    edited[54] = "00000000000000000\r";
    EXPECT_EQ(LineOf(parse(edited.join('\n'))), 55);
    edited = lines;
    edited[60] = "000000000000000o\r";
    EXPECT_EQ(LineOf(parse(edited.join('\n'))), 61);
    EXPECT_EQ(LineOf(parse(good + "0000000000000000\r\n")), 68);
    // A name line out of place, another version.
    edited = lines;
    std::swap(edited[3], edited[4]);
    EXPECT_EQ(LineOf(parse(edited.join('\n'))), 4);
    EXPECT_EQ(LineOf(parse(QByteArray(good).replace("wersja 1", "wersja 2"))), 1);

    // Binary garbage: rejected, never crashes, no table.
    QRandomGenerator rng(13);
    for (int round = 0; round < 50; ++round) {
        QByteArray junk(1 + rng.bounded(5000), '\0');
        for (char& c : junk)
            c = static_cast<char>(rng.bounded(256));
        if (round % 2)
            junk.prepend(good.left(rng.bounded(static_cast<int>(good.size()))));
        EXPECT_GT(LineOf(parse(junk)), 0) << round;
    }
    edited = lines;
    edited[20] = "Wyj\xc5\x9b\xff" "cie 2: x\r";
    EXPECT_EQ(LineOf(parse(edited.join('\n'))), 21);

    // 10 MB: refused as a whole, without a line.
    const QString big = Path("big.txt");
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(good);
    f.write(QByteArray(10 * 1024 * 1024, '0'));
    f.close();
    EXPECT_EQ(LineOf([&] { Routing::LoadBackup(big); }), 0);
    EXPECT_EQ(LineOf([&] { Routing::LoadBackup(Path("missing.txt")); }), 0);
}
