#include "RoutingFixture.h"
#include "FindChild.h"

#include "ModalAnswers.h"
#include "RoutingWriteLog.h"
#include "SimulatorProcess.h"

#include <QCheckBox>
#include <QFile>
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
    matrix->Pacing = Routing::TRoutingPacing{};
    std::string expected;
    for (int p = 0; p < 256; ++p) {
        const int k = p % 16 + 1, j = p / 16 + 1;
        matrix->Cell(k, j)->setChecked(Pattern(k, j));
        expected.push_back(Pattern(k, j) ? '1' : '0');
    }
    matrix->show();

    const auto begin = std::chrono::steady_clock::now();
    matrix->WriteMatrix();
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
    matrix->ShowControllerTable();
    ASSERT_TRUE(WaitFor([&] { return !ConfigDumpActive(); }, 5000));
    const QStringList lines = FindChild<QPlainTextEdit>(view, QStringLiteral("Memo1"))->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 16);
    for (int j = 1; j <= 16; ++j)
        EXPECT_EQ(lines[j - 1], ExpectedLine(j)) << "output " << j;
}

namespace {

int WritesStarted(const SimulatorProcess& sim)
{
    int n = 0;
    for (const SimLogRecord& r : sim.Log())
        n += r.kind == 'E' && r.text == "routing write started";
    return n;
}

}  // namespace

// A controller holding a known table: load it, change one cell, write; a write that removes a
// connection asks first; after a restart the untouched matrix does not wipe the controller.
TEST_F(RoutingSim, ChangeOneCellAndWriteChangesExactlyThatCell)
{
    Routing::TRoutingCells known;
    for (auto [k, j] : {std::pair{1, 1}, {2, 1}, {5, 3}, {9, 8}, {16, 16}})
        known.Set(k, j, true);
    const std::string state = folder_.FilePath(QStringLiteral("controller.state")).toStdString();
    {
        QFile f(QString::fromStdString(state));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("selvora-sim-state 1\nmode 0\noutputs 0000000000000000\nrouting " +
                QByteArray::fromStdString(known.WireText()) + "\n");
    }
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
    auto open = [&] {
        Build(true, QString::fromStdString(sim.LinkPath()));
        matrix->Pacing.afterCell = std::chrono::milliseconds(1);
        matrix->show();
        matrix->activateWindow();
        return QTest::qWaitForWindowActive(matrix);
    };
    ASSERT_TRUE(open());
    ModalAnswers answers;
    // A key as the user presses it, once the last message box has given the window back.
    auto press = [&](Qt::Key key) {
        matrix->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(matrix));
        QTest::keyClick(matrix, key);
    };

    // F4, one more connection, F2: no question, and exactly that cell is added.
    press(Qt::Key_F4);
    ASSERT_TRUE(WaitFor([&] { return matrix->MatrixCells() == known; }));
    matrix->Cell(3, 4)->setChecked(true);
    Routing::TRoutingCells expected = known;
    expected.Set(3, 4, true);
    press(Qt::Key_F2);
    ASSERT_TRUE(WaitFor([&] { return matrix->ControllerTable() == expected; }, 10000));
    EXPECT_TRUE(answers.texts.isEmpty()) << answers.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(sim.Status().routing, expected.WireText());

    // One connection fewer: the question; "Anuluj" writes nothing, "Zapisz" removes that cell.
    matrix->Cell(5, 3)->setChecked(false);
    expected.Set(5, 3, false);
    answers.Then(QStringLiteral("Anuluj"));
    press(Qt::Key_F2);
    ASSERT_TRUE(WaitFor([&] { return answers.texts.size() == 1; }));
    EXPECT_EQ(answers.texts[0], QStringLiteral("Dodane połączenia: 0, usunięte połączenia: 1"));
    EXPECT_EQ(answers.titles[0], QStringLiteral("Konfiguracja"));
    answers.Then(QStringLiteral("Zapisz"));
    press(Qt::Key_F2);
    ASSERT_TRUE(WaitFor([&] { return matrix->ControllerTable() == expected; }, 10000));
    ASSERT_EQ(answers.texts.size(), 2);
    EXPECT_EQ(sim.Status().routing, expected.WireText());
    EXPECT_EQ(WritesStarted(sim), 2);

    // A restart: the matrix is unchecked again, F2 asks, and "Anuluj" leaves the controller be.
    delete matrix;
    delete view;
    matrix = nullptr;
    view = nullptr;
    port->SetConnected(false);
    ASSERT_TRUE(open());
    press(Qt::Key_F2);
    ASSERT_TRUE(WaitFor([&] { return answers.texts.size() == 3; }));
    EXPECT_EQ(answers.texts[2], QStringLiteral("Dodane połączenia: 0, usunięte połączenia: %1")
                                    .arg(expected.Connections()));
    Spin(300);
    EXPECT_EQ(WritesStarted(sim), 2);
    EXPECT_EQ(sim.Status().routing, expected.WireText());
}
