#include "RoutingBackup.h"

#include <QFile>
#include <QSaveFile>

namespace Routing {
namespace {

const QString kHeaderPrefix = QStringLiteral("Konfigurator: tabela połączeń, wersja ");
constexpr int kVersion = 1;
const QString kPortLabel = QStringLiteral("Port:");
const QString kTableLabel =
    QStringLiteral("Tabela: wiersz = wyjście 1–16, kolumna = wejście 1–16, 1 = wejście steruje wyjściem");
const QString kNoInputs = QStringLiteral("(żadne)");

// Line numbers (1-based) of each part.
constexpr int kPortLine = 2;
constexpr int kFirstInputLine = 3;
constexpr int kFirstOutputLine = kFirstInputLine + kInputs;
constexpr int kFirstListLine = kFirstOutputLine + kOutputs;
constexpr int kTableLabelLine = kFirstListLine + kOutputs;
constexpr int kFirstRowLine = kTableLabelLine + 1;
constexpr int kLastRowLine = kFirstRowLine + kOutputs - 1;

QString InputLabel(int k) { return QStringLiteral("Wejście %1:").arg(k); }
QString OutputLabel(int j) { return QStringLiteral("Wyjście %1:").arg(j); }
QString ListLabel(int j) { return QStringLiteral("Wyjściem %1 sterują:").arg(j); }

QString Name(const QStringList& names, int index)
{
    QString name = index < names.size() ? names.at(index) : QString();
    // A line break inside a name would move every later line.
    name.replace(QLatin1Char('\r'), QLatin1Char(' '));
    name.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return name;
}

QString Labelled(const QString& label, const QString& value)
{
    return value.isEmpty() ? label : label + QLatin1Char(' ') + value;
}

// Splits into lines at LF (a CR before it is dropped), each line checked for length and UTF-8.
QStringList SplitLines(const QByteArray& data)
{
    QStringList lines;
    qsizetype start = 0;
    // A byte order mark from an editor is not part of the first line.
    if (data.startsWith("\xEF\xBB\xBF"))
        start = 3;
    while (start <= data.size()) {
        qsizetype end = data.indexOf('\n', start);
        const bool last = end < 0;
        if (last)
            end = data.size();
        const int number = static_cast<int>(lines.size()) + 1;
        if (end - start > kMaxBackupLineBytes)
            throw EBackupError(number, QStringLiteral("wiersz jest za długi"));
        QByteArray bytes = data.mid(start, end - start);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        const QString text = QString::fromUtf8(bytes);
        // Anything that does not survive the way back is not UTF-8 (stray bytes, overlong forms).
        if (text.toUtf8() != bytes)
            throw EBackupError(number, QStringLiteral("tekst nie jest zapisany w UTF-8"));
        lines.append(text);
        if (last)
            break;
        start = end + 1;
    }
    return lines;
}

class LineReader {
public:
    explicit LineReader(const QStringList& lines) : lines_(lines) {}

    const QString& At(int number) const
    {
        if (number > lines_.size())
            throw EBackupError(number, QStringLiteral("brak wiersza: plik jest niepełny"));
        return lines_.at(number - 1);
    }

    // The text after "label" and one blank; the label must open the line.
    QString Value(int number, const QString& label) const
    {
        const QString& line = At(number);
        if (!line.startsWith(label))
            throw EBackupError(number, QStringLiteral("oczekiwano wiersza „%1 …”").arg(label));
        QString value = line.mid(label.size());
        if (value.startsWith(QLatin1Char(' ')))
            value.remove(0, 1);
        else if (!value.isEmpty())
            throw EBackupError(number, QStringLiteral("oczekiwano wiersza „%1 …”").arg(label));
        return value;
    }

    int Count() const { return static_cast<int>(lines_.size()); }

private:
    const QStringList& lines_;
};

void ParseHeader(const LineReader& in)
{
    const QString& line = in.At(1);
    if (!line.startsWith(kHeaderPrefix))
        throw EBackupError(1, QStringLiteral("to nie jest plik tabeli połączeń Konfiguratora"));
    bool ok = false;
    const int version = line.mid(kHeaderPrefix.size()).toInt(&ok);
    if (!ok)
        throw EBackupError(1, QStringLiteral("nieczytelny numer wersji pliku"));
    if (version != kVersion)
        throw EBackupError(1, QStringLiteral("nieobsługiwana wersja pliku: %1").arg(version));
}

void ParseRow(const LineReader& in, int output, TRoutingCells& cells)
{
    const int number = kFirstRowLine + output - 1;
    const QString& row = in.At(number);
    for (int k = 1; k <= qMin<int>(row.size(), kInputs); ++k) {
        const QChar ch = row.at(k - 1);
        if (ch != QLatin1Char('0') && ch != QLatin1Char('1'))
            throw EBackupError(number, QStringLiteral("znak „%1” w kolumnie %2; dozwolone są tylko 0 i 1")
                                           .arg(ch)
                                           .arg(k));
        cells.Set(k, output, ch == QLatin1Char('1'));
    }
    if (row.size() != kInputs)
        throw EBackupError(number, QStringLiteral("wiersz tabeli powinien mieć 16 znaków, ma %1").arg(row.size()));
}

}  // namespace

EBackupError::EBackupError(int line, const QString& text)
    : std::runtime_error((line > 0 ? QStringLiteral("wiersz %1: %2").arg(line).arg(text) : text).toStdString()),
      line_(line),
      text_(text)
{
}

QByteArray ComposeBackup(const TRoutingBackup& backup)
{
    QStringList lines;
    lines << kHeaderPrefix + QString::number(kVersion);
    lines << Labelled(kPortLabel, Name({backup.port}, 0));
    for (int k = 1; k <= kInputs; ++k)
        lines << Labelled(InputLabel(k), Name(backup.inputNames, k - 1));
    for (int j = 1; j <= kOutputs; ++j)
        lines << Labelled(OutputLabel(j), Name(backup.outputNames, j - 1));
    for (int j = 1; j <= kOutputs; ++j) {
        QStringList controlling;
        for (int k = 1; k <= kInputs; ++k) {
            if (!backup.cells.At(k, j))
                continue;
            const QString name = Name(backup.inputNames, k - 1);
            controlling << (name.isEmpty() ? QStringLiteral("wejście %1").arg(k) : name);
        }
        lines << Labelled(ListLabel(j), controlling.isEmpty() ? kNoInputs : controlling.join(QStringLiteral(", ")));
    }
    lines << kTableLabel;
    const std::string wire = backup.cells.WireText();
    for (int j = 1; j <= kOutputs; ++j)
        lines << QString::fromLatin1(wire.data() + CellPosition(1, j), kInputs);

    QByteArray out;
    for (const QString& line : lines)
        out += line.toUtf8() + "\r\n";
    return out;
}

TRoutingBackup ParseBackup(const QByteArray& data)
{
    if (data.size() > kMaxBackupBytes)
        throw EBackupError(0, QStringLiteral("plik jest za duży (ponad %1 MiB)").arg(kMaxBackupBytes >> 20));
    const QStringList lines = SplitLines(data);
    const LineReader in(lines);
    TRoutingBackup backup;
    ParseHeader(in);
    backup.port = in.Value(kPortLine, kPortLabel);
    for (int k = 1; k <= kInputs; ++k)
        backup.inputNames << in.Value(kFirstInputLine + k - 1, InputLabel(k));
    for (int j = 1; j <= kOutputs; ++j)
        backup.outputNames << in.Value(kFirstOutputLine + j - 1, OutputLabel(j));
    // The lists are for the reader; only their place is checked.
    for (int j = 1; j <= kOutputs; ++j)
        in.Value(kFirstListLine + j - 1, ListLabel(j));
    if (in.At(kTableLabelLine) != kTableLabel)
        throw EBackupError(kTableLabelLine, QStringLiteral("oczekiwano wiersza „%1”").arg(kTableLabel));
    for (int j = 1; j <= kOutputs; ++j)
        ParseRow(in, j, backup.cells);
    for (int number = kLastRowLine + 1; number <= in.Count(); ++number)
        if (!in.At(number).trimmed().isEmpty())
            throw EBackupError(number, QStringLiteral("nadmiarowy tekst za tabelą"));
    return backup;
}

void SaveBackup(const QString& path, const TRoutingBackup& backup)
{
    const QByteArray bytes = ComposeBackup(backup);
    if (bytes.size() > kMaxBackupBytes)
        throw EBackupError(0, QStringLiteral("nazwy są za długie, aby zapisać plik „%1”").arg(path));
    QSaveFile file(path);
    // A buffered write that failed is noticed only through flush() and error(); never let a
    // cut-off file replace the old one.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || file.error() != QFileDevice::NoError || !file.commit()) {
        throw EBackupError(0, QStringLiteral("nie można zapisać pliku „%1”: %2").arg(path, file.errorString()));
    }
}

TRoutingBackup LoadBackup(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EBackupError(0, QStringLiteral("nie można otworzyć pliku „%1”: %2").arg(path, file.errorString()));
    if (!file.isSequential() && file.size() > kMaxBackupBytes)
        throw EBackupError(0, QStringLiteral("plik jest za duży (ponad %1 MiB)").arg(kMaxBackupBytes >> 20));
    // One byte past the limit tells a file that is too big from one that just fits.
    const QByteArray data = file.read(kMaxBackupBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw EBackupError(0, QStringLiteral("nie można odczytać pliku „%1”: %2").arg(path, file.errorString()));
    return ParseBackup(data);
}

QStringList NameDifferences(const TRoutingBackup& backup, const QStringList& inputNames,
                            const QStringList& outputNames)
{
    QStringList out;
    auto compare = [&out](const QString& label, const QString& inFile, const QString& current) {
        if (inFile != current)
            out << QStringLiteral("%1 w pliku „%2”, w config.ini „%3”").arg(label, inFile, current);
    };
    for (int k = 1; k <= kInputs; ++k)
        compare(InputLabel(k), Name(backup.inputNames, k - 1), Name(inputNames, k - 1));
    for (int j = 1; j <= kOutputs; ++j)
        compare(OutputLabel(j), Name(backup.outputNames, j - 1), Name(outputNames, j - 1));
    return out;
}

}  // namespace Routing
