#include "RoutingFixture.h"
#include "RoutingWriteLog.h"
#include "SimulatorProcess.h"

#include <QCheckBox>
#include <QPlainTextEdit>

namespace {

// A table with a bit of everything: full rows, empty rows, single cells at the edges.
bool Pattern(int input, int output)
{
    if (output == 2)
        return true;
    if (output == 9)
        return false;
    return (input * 7 + output * 3) % 5 == 0 || (input == 16 && output == 16);
}

QString ExpectedLine(int output)
{
    QString list;
    for (int k = 16; k >= 1; --k)
        if (Pattern(k, output))
            list += k == 1 ? QStringLiteral("1") : QStringLiteral("%1,").arg(k);
    const QString prefix = output < 10
        ? QString::fromUtf8("Wyjście %1 jest sterowane przez wejścia : ").arg(output)
        : QString::fromUtf8("Wyjście %1 jest sterowane przez wejścia: ").arg(output);
    return prefix + list;
}

}  // namespace

using RoutingSim = RoutingFixture;

// The whole write at its real pace against the simulated controller, then read back.
TEST_F(RoutingSim, RealTimePassArrivesWholeAndReadsBack)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Build(true, QString::fromStdString(sim.LinkPath()));
    form2->Pacing = Routing::TRoutingPacing{};
    std::string expected;
    for (int p = 0; p < 256; ++p) {
        const int k = p % 16 + 1, j = p / 16 + 1;
        form2->Cell(k, j)->setChecked(Pattern(k, j));
        expected.push_back(Pattern(k, j) ? '1' : '0');
    }
    form2->show();

    const auto begin = std::chrono::steady_clock::now();
    form2->Zapisz1Click();
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(took, std::chrono::milliseconds(26600));

    // The controller reports the end of saving.
    ASSERT_TRUE(WaitFor([&] { return received.find('?') != std::string::npos; }, 5000))
        << "received: " << received;

    const simlog::RoutingWrite write = simlog::LastRoutingWrite(sim.Log());
    ASSERT_TRUE(write.found);
    EXPECT_EQ(write.cells, expected);
    EXPECT_EQ(write.betweenCellsMs.size(), 255u);

    // The controller now holds that table.
    form2->Stankonfiguracji1Click();
    ASSERT_TRUE(WaitFor([&] { return !ConfigDumpActive(); }, 5000));
    const QStringList lines = form3->Memo1->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 16);
    for (int j = 1; j <= 16; ++j)
        EXPECT_EQ(lines[j - 1], ExpectedLine(j)) << "output " << j;
}
