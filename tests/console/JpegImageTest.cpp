#include "JpegImage.h"
#include "LockScreen.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TEST(JpegImage, CarriedPadlockIs497By181OnGrey)
{
    const QByteArray jpeg = TLockScreen::PadlockJpeg();
    ASSERT_GT(jpeg.size(), 1000);
    const QImage image = JpegImage::Decode(jpeg);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(497, 181));
    // The corners are grey: the three channels nearly equal, neither black nor white.
    for (QPoint p : {QPoint(2, 2), QPoint(494, 2), QPoint(2, 178), QPoint(494, 178)}) {
        const QRgb c = image.pixel(p);
        EXPECT_LE(qAbs(qRed(c) - qGreen(c)) + qAbs(qGreen(c) - qBlue(c)), 12);
        EXPECT_GT(qGray(c), 80);
        EXPECT_LT(qGray(c), 200);
    }
    // Something coloured sits in the middle (the brass body).
    const QRgb body = image.pixel(248 - 40, 150);
    EXPECT_GT(qRed(body) - qBlue(body), 60);
}

TEST(JpegImage, TruncatedOrForeignBytesGiveANullImage)
{
    const QByteArray jpeg = TLockScreen::PadlockJpeg();
    EXPECT_TRUE(JpegImage::Decode(QByteArray()).isNull());
    EXPECT_TRUE(JpegImage::Decode(QByteArray("not a picture at all")).isNull());
    EXPECT_TRUE(JpegImage::Decode(QByteArray::fromHex("ffd8ffd9")).isNull());
    // Cut anywhere, including just before the end marker: never a half-grey picture.
    for (qsizetype n = 0; n < jpeg.size(); n += (n < 64 || n > jpeg.size() - 64) ? 1 : 37)
        ASSERT_TRUE(JpegImage::Decode(jpeg.left(n)).isNull()) << "cut at " << n;
}

// Position of the frame header's height field.
qsizetype FrameDimensions(const QByteArray& jpeg)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const uchar m = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xFF && (m == 0xC0 || m == 0xC2))
            return i + 5;
    }
    return -1;
}

TEST(JpegImage, HostileHeadersAreRefused)
{
    const QByteArray jpeg = TLockScreen::PadlockJpeg();
    const qsizetype dims = FrameDimensions(jpeg);
    ASSERT_GT(dims, 0);

    QByteArray huge = jpeg;   // 60000 x 60000 claimed: refused without allocating it
    huge[dims] = char(0xEA);
    huge[dims + 1] = char(0x60);
    huge[dims + 2] = char(0xEA);
    huge[dims + 3] = char(0x60);
    EXPECT_TRUE(JpegImage::Decode(huge).isNull());

    QByteArray empty = jpeg;   // zero width
    empty[dims + 2] = 0;
    empty[dims + 3] = 0;
    EXPECT_TRUE(JpegImage::Decode(empty).isNull());
}

TEST(JpegImage, DamagedBytesNeverCrash)
{
    const QByteArray jpeg = TLockScreen::PadlockJpeg();
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<qsizetype> pos(0, jpeg.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray damaged = jpeg;
        const int hits = 1 + round % 8;
        for (int i = 0; i < hits; ++i)
            damaged[pos(rng)] = char(byte(rng));
        const QImage image = JpegImage::Decode(damaged);
        if (image.isNull())
            ++refused;
        else   // damage libjpeg cannot see still yields a whole picture of sane size
            EXPECT_LE(qint64(image.width()) * image.height(), JpegImage::kMaxPixels);
    }
    EXPECT_GT(refused, 200);
}

}  // namespace
