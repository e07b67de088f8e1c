#include "FileStamp.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>
#include <utime.h>

namespace {

void Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Puts the modification time well in the past, as for a file nobody touched lately.
void Age(const QString& path)
{
    struct utimbuf t{1000000, 1000000};
    ASSERT_EQ(utime(QFile::encodeName(path).constData(), &t), 0);
}

TEST(FileStamp, RereadsOnlyWhenTheFileMayHaveChanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    TFileStamp stamp;

    EXPECT_FALSE(stamp.Changed(path));   // missing: nothing to reread
    Write(path, "----------\r\n");
    Age(path);
    EXPECT_TRUE(stamp.Changed(path));    // first look
    EXPECT_FALSE(stamp.Changed(path));
    EXPECT_FALSE(stamp.Changed(path));

    // An edit in place of equal size: the fresh timestamp keeps it "changed" for a while,
    // since a second edit in the same timestamp tick would look identical.
    Write(path, " ---------\r\n");
    EXPECT_TRUE(stamp.Changed(path));
    EXPECT_TRUE(stamp.Changed(path));
    Age(path);
    EXPECT_TRUE(stamp.Changed(path));    // the new timestamps themselves
    EXPECT_FALSE(stamp.Changed(path));

    // Rename-replace by a file of the same size and the same old timestamp: a new inode.
    const QString temp = dir.filePath("config.tmp");
    Write(temp, "----------\r\n");
    Age(temp);
    // (std::filesystem::rename replaces the target on Windows too, unlike std::rename there.)
    std::error_code error;
    std::filesystem::rename(std::filesystem::u8path(temp.toStdString()),
                            std::filesystem::u8path(path.toStdString()), error);
    ASSERT_FALSE(error) << error.message();
    EXPECT_TRUE(stamp.Changed(path));
    EXPECT_FALSE(stamp.Changed(path));

    // Gone and back: the file that returns is read again.
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(stamp.Changed(path));
    Write(path, "----------\r\n");
    Age(path);
    EXPECT_TRUE(stamp.Changed(path));
}

}  // namespace
