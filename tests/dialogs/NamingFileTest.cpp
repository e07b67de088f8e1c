#include "NamingFile.h"

#include <gtest/gtest.h>

namespace {

QStringList Numbered(const QString& word, int count)
{
    QStringList out;
    for (int i = 1; i <= count; ++i)
        out.append(QString::number(i) + QLatin1Char(' ') + word);
    return out;
}

TEST(NamingFileSplit, LineBreaksOfEveryKindAndTheFinalOne)
{
    EXPECT_EQ(NamingFile::SplitLines(QString()), QStringList());
    EXPECT_EQ(NamingFile::SplitLines(QStringLiteral("a")), QStringList{QStringLiteral("a")});
    // A final line break ends the last line without adding an empty one...
    EXPECT_EQ(NamingFile::SplitLines(QStringLiteral("a\nb\n")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    // ...but an empty line before it is a line of its own.
    EXPECT_EQ(NamingFile::SplitLines(QStringLiteral("a\nb\n\n")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QString()}));
    EXPECT_EQ(NamingFile::SplitLines(QStringLiteral("\n")), QStringList{QString()});
    EXPECT_EQ(NamingFile::SplitLines(QStringLiteral("a\r\nb\rc\n\nd")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QString(), QStringLiteral("d")}));
    // Blanks are part of a name.
    EXPECT_EQ(NamingFile::SplitLines(QStringLiteral(" x \n\t")),
              (QStringList{QStringLiteral(" x "), QStringLiteral("\t")}));
}

TEST(NamingFileCompose, BoxesWithOtherLineCountsShiftTheLaterLines)
{
    const QString outputs = NamingFile::DefaultOutputNames();

    const QStringList fifteen = NamingFile::Compose(
        QStringLiteral("COM3"), Numbered(QStringLiteral("in"), 15).join('\n'), outputs);
    ASSERT_EQ(fifteen.size(), 36);
    EXPECT_EQ(fifteen[17], QStringLiteral("15 in"));
    EXPECT_EQ(fifteen[18], QStringLiteral("----------"));
    EXPECT_EQ(fifteen[19], QStringLiteral("----------"));
    EXPECT_EQ(fifteen[20], QStringLiteral("1 urządzenie"));
    EXPECT_EQ(fifteen[35], QStringLiteral("16 urządzenie"));

    // An extra empty line typed at the end of the inputs is written and moves the rest down.
    const QStringList trailingEmpty = NamingFile::Compose(
        QStringLiteral("COM1"), NamingFile::DefaultInputNames() + QStringLiteral("\n\n"), outputs);
    ASSERT_EQ(trailingEmpty.size(), 38);
    EXPECT_EQ(trailingEmpty[19], QString());
    EXPECT_EQ(trailingEmpty[20], QStringLiteral("----------"));
    EXPECT_EQ(trailingEmpty[22], QStringLiteral("1 urządzenie"));

    // Whereas a single final line break changes nothing.
    EXPECT_EQ(NamingFile::Compose(QStringLiteral("COM1"),
                                  NamingFile::DefaultInputNames() + QStringLiteral("\n"), outputs),
              NamingFile::Compose(QStringLiteral("COM1"), NamingFile::DefaultInputNames(), outputs));
}

TEST(NamingFileCompose, PortNameIsOneLineWhateverItHolds)
{
    // Empty is written as an empty line (nothing is validated)...
    const QStringList empty = NamingFile::Compose(QString(), QStringLiteral("a"), QStringLiteral("b"));
    EXPECT_EQ(empty, (QStringList{QStringLiteral("----------"), QString(),
                                  QStringLiteral("----------"), QStringLiteral("a"),
                                  QStringLiteral("----------"), QStringLiteral("----------"),
                                  QStringLiteral("b")}));
    // ...blanks stay, and a pasted line break cannot push the separators out of place.
    const QStringList pasted =
        NamingFile::Compose(QStringLiteral(" COM 2 \r\nxyz"), QStringLiteral("a"), QStringLiteral("b"));
    ASSERT_EQ(pasted.size(), 7);
    EXPECT_EQ(pasted[1], QStringLiteral(" COM 2 "));
    EXPECT_EQ(pasted[2], QStringLiteral("----------"));
}

}  // namespace
