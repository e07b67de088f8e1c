#include "RoutingFixture.h"

#include "ColumnHeader.h"
#include "ConfigFile.h"
#include "ModalAnswers.h"
#include "RoutingBackup.h"
#include "RoutingCell.h"
#include "RoutingTableRead.h"

#include <QFile>

using Routing::TRoutingCells;
using Mark = TRoutingCell::Mark;

namespace {

// What the controller sends for "C": block m for output m, input 16 first.
std::string Reply(const TRoutingCells& table)
{
    std::string s;
    for (int j = 1; j <= 16; ++j)
        for (int k = 16; k >= 1; --k)
            s.push_back(table.At(k, j) ? '1' : '0');
    return s;
}

TRoutingCells Table(std::initializer_list<std::pair<int, int>> connections)
{
    TRoutingCells t;
    for (auto [k, j] : connections)
        t.Set(k, j, true);
    return t;
}

}  // namespace

class RoutingChanges : public RoutingFixture {
protected:
    void Build()
    {
        RoutingFixture::Build();
        matrix->TableRead()->SetQuietLimit(150);
    }
    // The controller's side of one "C".
    void Answer(const std::string& reply)
    {
        ASSERT_EQ(pty.Read(1, 1000), "C");
        pty.Write(reply);
    }
};

TEST_F(RoutingChanges, ReadingTheControllerTakesOnlyAWholeCleanReply)
{
    Build();
    ModalAnswers answers;
    const TRoutingCells held = Table({{16, 1}, {1, 1}, {4, 5}, {1, 16}});
    matrix->LoadFromController();
    Answer(Reply(held));
    ASSERT_TRUE(WaitFor([&] { return matrix->ControllerTable().has_value(); }));
    EXPECT_EQ(matrix->MatrixCells(), held);
    EXPECT_EQ(matrix->Cell(4, 5)->CurrentMark(), Mark::None);

    // A foreign character, then a reply that stops: no cell changes, one message each, and the
    // dump ends so that later characters count in no read.
    std::string damaged = Reply(Table({{2, 2}}));
    damaged[100] = 'x';
    matrix->LoadFromController();
    Answer(damaged);
    ASSERT_TRUE(WaitFor([&] { return answers.texts.size() == 1; }));
    matrix->LoadFromController();
    Answer(std::string(100, '1'));
    ASSERT_TRUE(WaitFor([&] { return answers.texts.size() == 2; }));
    EXPECT_EQ(answers.texts, (QStringList{RoutingMatrixWindow::kReadFailed, RoutingMatrixWindow::kReadFailed}));
    EXPECT_EQ(matrix->MatrixCells(), held);
    EXPECT_FALSE(ConfigDumpActive());

    // The next read counts only what follows its own "C".
    const TRoutingCells next = Table({{3, 3}, {16, 16}});
    matrix->LoadFromController();
    Answer(Reply(next));
    ASSERT_TRUE(WaitFor([&] { return matrix->MatrixCells() == next; }));
    EXPECT_EQ(answers.texts.size(), 2);
}

TEST_F(RoutingChanges, ChangedCellsAreMarkedAndTheSaveMakesThemTheControllersTable)
{
    Build();
    ModalAnswers answers;
    const TRoutingCells held = Table({{1, 1}, {2, 3}});
    matrix->LoadFromController();
    Answer(Reply(held));
    ASSERT_TRUE(WaitFor([&] { return matrix->ControllerTable() == held; }));

    matrix->Cell(5, 5)->setChecked(true);
    matrix->Cell(1, 1)->setChecked(false);
    EXPECT_EQ(matrix->Cell(5, 5)->CurrentMark(), Mark::Added);
    EXPECT_EQ(matrix->Cell(1, 1)->CurrentMark(), Mark::Removed);
    EXPECT_EQ(matrix->Cell(2, 3)->CurrentMark(), Mark::None);
    EXPECT_FALSE(matrix->Cell(1, 1)->accessibleDescription().isEmpty());
    EXPECT_NE(matrix->Cell(1, 1)->accessibleDescription(), matrix->Cell(5, 5)->accessibleDescription());
    EXPECT_EQ(matrix->ColumnHeader(1)->Changes(), 1);
    EXPECT_TRUE(matrix->ColumnHeader(5)->DisplayedText().endsWith(QStringLiteral(" (1)")));
    EXPECT_EQ(matrix->ColumnHeader(2)->Changes(), 0);

    // F2 reads first, and asks because a connection would go.
    answers.Then(QStringLiteral("Zapisz"));
    matrix->SaveToController();
    Answer(Reply(held));
    std::string pass;
    ASSERT_TRUE(WaitFor([&] { return answers.texts.size() == 1; }));
    EXPECT_EQ(answers.texts[0], QStringLiteral("Dodane połączenia: 1, usunięte połączenia: 1"));
    pass = pty.Read(257, 2000);
    EXPECT_EQ(pass, "c" + matrix->MatrixCells().WireText());
    EXPECT_EQ(matrix->Cell(5, 5)->CurrentMark(), Mark::Added);   // not stored until '?'
    pty.Write("?");
    ASSERT_TRUE(WaitFor([&] { return matrix->ControllerTable() == matrix->MatrixCells(); }));
    EXPECT_EQ(matrix->Cell(5, 5)->CurrentMark(), Mark::None);
    EXPECT_EQ(matrix->ColumnHeader(5)->Changes(), 0);
}

TEST_F(RoutingChanges, BackupFilesAndThePrintedSheet)
{
    TConfigFile config;
    config.port = QStringLiteral("/dev/ttyUSB7");
    config.inputName = QStringLiteral("Włącznik %1");
    config.outputName = QStringLiteral("Światło %1");
    config.marker.reset();
    WriteSettings(config.Lines());
    Build();
    ModalAnswers answers;
    const TRoutingCells house = Table({{1, 1}, {16, 1}, {8, 9}, {16, 16}});
    matrix->SetMatrixCells(house);
    const QString path = folder_.FilePath(QStringLiteral("dom.txt"));
    matrix->SaveBackupTo(path);
    matrix->SetMatrixCells(TRoutingCells{});
    matrix->LoadBackupFrom(path);
    EXPECT_EQ(matrix->MatrixCells(), house);
    EXPECT_TRUE(answers.texts.isEmpty());

    // A damaged file changes no cell and names its line.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    bytes.replace("Wejście 5: ", "Wejscie 5: ");
    file.resize(0);
    file.write(bytes);
    file.close();
    matrix->SetMatrixCells(TRoutingCells{});
    matrix->LoadBackupFrom(path);
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_TRUE(answers.texts[0].contains(QStringLiteral("Wiersz 7:"))) << answers.texts[0].toStdString();
    EXPECT_EQ(matrix->MatrixCells(), TRoutingCells{});

    // Names that differ from config.ini: the cells load, one warning lists them.
    Routing::TRoutingBackup other;
    other.cells = house;
    other.port = QStringLiteral("COM3");
    for (int k = 1; k <= 16; ++k)
        other.inputNames << QStringLiteral("Włącznik %1").arg(k);
    for (int j = 1; j <= 16; ++j)
        other.outputNames << QStringLiteral("Światło %1").arg(j);
    other.inputNames[1] = QStringLiteral("Inny dom");
    other.outputNames[4] = QStringLiteral("Inna lampa");
    Routing::SaveBackup(path, other);
    matrix->LoadBackupFrom(path);
    EXPECT_EQ(matrix->MatrixCells(), house);
    ASSERT_EQ(answers.texts.size(), 2);
    EXPECT_TRUE(answers.texts[1].contains(QStringLiteral("„Inny dom”")));
    EXPECT_TRUE(answers.texts[1].contains(QStringLiteral("„Inna lampa”")));
    EXPECT_EQ(matrix->ColumnHeader(2)->text(), QStringLiteral("Włącznik 2 steruje"));

    // The sheet: a one-page PDF.
    const QString pdf = folder_.FilePath(QStringLiteral("dom.pdf"));
    matrix->PrintTo(pdf);
    QFile sheet(pdf);
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
    const QByteArray data = sheet.readAll();
    EXPECT_TRUE(data.startsWith("%PDF-"));
    EXPECT_EQ(data.count("/Type /Page\n") + data.count("/Type /Page\r") + data.count("/Type /Page "), 1)
        << data.left(2000).toStdString();
    EXPECT_EQ(answers.texts.size(), 2);
}
