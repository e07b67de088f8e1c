#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "ComTermModel.h"

namespace {

// Checks every caret move and every cell update against the grid as it is at that moment.
class CheckingHost : public TTermModelHost {
public:
    TComTermModel* model = nullptr;
    long long violations = 0;
    long long moves = 0;

    void CaretMoved() override
    {
        ++moves;
        if (!InGrid(model->CaretColumn(), model->CaretRow()))
            ++violations;
    }
    void CellsChanged(int l, int t, int r, int b) override
    {
        if (!InGrid(l, t) || !InGrid(r, b) || l > r || t > b)
            ++violations;
    }
    void FireChar(char) override
    {
        if (!InGrid(model->CaretColumn(), model->CaretRow()))
            ++violations;
    }
    bool PortOpen() const override { return true; }

private:
    bool InGrid(int c, int r) const
    {
        return c >= 1 && r >= 1 && c <= model->Columns() && r <= model->Rows() &&
               c <= model->Buffer().Columns() && r <= model->Buffer().Rows();
    }
};

// Ten million bytes, rich in ESC and '[' so that sequences of every kind (and runaway ones)
// occur; the caret must stay in the grid and the decoder's memory must not grow.
TEST(RandomFeed, CaretStaysInGridAndDecoderStaysBounded)
{
    CheckingHost host;
    TComTermModel model(&host);
    host.model = &model;

    std::mt19937 rng(20261208);
    const char pool[] = "0123456789;;;?$-xHABCDJKfgnmhlsuc378#O\r\n\t\b";
    const std::size_t poolSize = sizeof(pool) - 1;
    const std::size_t total = 10'000'000;
    std::string chunk;
    std::size_t maxData = 0, maxCapacity = 0, maxParams = 0;
    std::size_t fed = 0;
    int round = 0;
    while (fed < total) {
        chunk.clear();
        const std::size_t len = 1 + rng() % 4096;
        for (std::size_t i = 0; i < len; ++i) {
            const unsigned v = rng() % 100;
            if (v < 12)
                chunk.push_back('\x1b');
            else if (v < 24)
                chunk.push_back('[');
            else if (v < 70)
                chunk.push_back(pool[rng() % poolSize]);
            else
                chunk.push_back(static_cast<char>(rng() & 0xFF));
        }
        // Now and then a long run of parameter bytes, and some option changes.
        if (round % 50 == 0)
            chunk += "\x1b[" + std::string(5000 + rng() % 5000, '9') + ";" + std::string(3000, ';') + "B";
        if (round % 97 == 0)
            model.SetRows(2 + static_cast<int>(rng() % 99));
        if (round % 89 == 0)
            model.SetColumns(2 + static_cast<int>(rng() % 255));
        model.WrapLines = (round & 1) != 0;
        model.AppendLF = round % 7 == 0;
        model.ProcessReceived(chunk.data(), static_cast<int>(chunk.size()));
        fed += chunk.size();
        ++round;

        const TEscapeCodes* d = model.Decoder();
        ASSERT_NE(d, nullptr);
        maxData = std::max(maxData, d->Data().size());
        maxCapacity = std::max(maxCapacity, d->Data().capacity());
        maxParams = std::max(maxParams, d->Params().size());
        ASSERT_GE(model.CaretColumn(), 1);
        ASSERT_LE(model.CaretColumn(), model.Columns());
        ASSERT_GE(model.CaretRow(), 1);
        ASSERT_LE(model.CaretRow(), model.Rows());
    }
    EXPECT_EQ(host.violations, 0);
    EXPECT_GT(host.moves, 1'000'000);
    EXPECT_LE(maxData, TEscapeCodes::MaxSequenceText);
    EXPECT_LE(maxCapacity, 2 * TEscapeCodes::MaxSequenceText);
    EXPECT_LE(maxParams, TEscapeCodes::MaxParams);
}

}  // namespace
