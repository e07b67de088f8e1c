#include "SettingsFile.h"

#include "Windows1250.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QThread>

namespace SettingsFile {
namespace {

// Enough bytes for kMaxLineLength characters in any of the two encodings.
constexpr int kMaxLineBytes = kMaxLineLength * 4;
// Reading stops here even when the lines are not complete: a file without line breaks (or a
// device) must not keep the 20 ms watch reading for ever. Well above any real settings file.
constexpr qint64 kMaxReadBytes = 4 * 1024 * 1024;
// Windows cannot replace a file that a reader has open (the lock watch rereads it every 20 ms,
// another console may too), nor open one while it is being replaced: either is tried again for
// a moment before it counts as failed.
#ifdef _WIN32
constexpr int kReplaceAttempts = 40;
#else
constexpr int kReplaceAttempts = 1;
#endif
constexpr unsigned long kReplaceRetryMs = 5;

// Collects raw line bytes, keeping at most kMaxLineBytes of each line and kMaxLines lines.
class LineSplitter {
public:
    // Returns false once enough lines are complete.
    bool Feed(const char* data, qsizetype size)
    {
        for (qsizetype i = 0; i < size; ++i) {
            const char ch = data[i];
            if (pendingCr_) {
                pendingCr_ = false;
                if (ch == '\n')
                    continue;   // the LF of a CR LF pair
            }
            if (ch == '\r' || ch == '\n') {
                pendingCr_ = ch == '\r';
                EndLine();
                if (lines_.size() >= kMaxLines)
                    return false;
                continue;
            }
            if (current_.size() < kMaxLineBytes)
                current_.append(ch);
            open_ = true;
        }
        return true;
    }
    QList<QByteArray> Finish()
    {
        if (open_ && lines_.size() < kMaxLines)
            EndLine();
        return lines_;
    }

private:
    void EndLine()
    {
        lines_.append(current_);
        current_.clear();
        open_ = false;
    }
    QList<QByteArray> lines_;
    QByteArray current_;
    bool pendingCr_ = false;
    bool open_ = false;
};

// A line cut at kMaxLineBytes may end inside a UTF-8 sequence; drop that partial tail so the
// cut alone does not make a UTF-8 file look like Windows-1250.
QByteArray TrimPartialUtf8(const QByteArray& line)
{
    if (line.size() < kMaxLineBytes)
        return line;
    qsizetype end = line.size();
    qsizetype lead = end - 1;
    while (lead > 0 && (static_cast<unsigned char>(line[lead]) & 0xC0) == 0x80)
        --lead;
    const unsigned char b = static_cast<unsigned char>(line[lead]);
    const qsizetype need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (end - lead < need)
        end = lead;
    return line.left(end);
}

// Strict UTF-8 check of one line (no overlong forms, surrogates or code points past U+10FFFF).
// Qt's decoder does not report errors when it keeps no state between calls, so it cannot tell.
bool IsValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int len;
        unsigned int cp;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

QStringList Decode(const QList<QByteArray>& raw)
{
    QList<QByteArray> trimmed;
    trimmed.reserve(raw.size());
    for (const QByteArray& line : raw)
        trimmed.append(TrimPartialUtf8(line));

    // Each line on its own: a sequence cut at a line end is an error, not carried over.
    bool utf8 = true;
    for (const QByteArray& line : trimmed) {
        if (!IsValidUtf8(line)) {
            utf8 = false;
            break;
        }
    }
    QStringList out;
    if (utf8) {
        // A byte order mark stays a character of line 0 (read by nobody), so that whatever
        // is written reads back the same.
        QStringDecoder decoder(QStringDecoder::Utf8,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        for (const QByteArray& line : trimmed)
            out.append(QString(decoder.decode(line)).left(kMaxLineLength));
        return out;
    }
    for (const QByteArray& line : raw)
        out.append(Windows1250::Decode(line).left(kMaxLineLength));
    return out;
}

}  // namespace

QStringList ParseLines(const QByteArray& data)
{
    LineSplitter splitter;
    splitter.Feed(data.constData(), data.size());
    return Decode(splitter.Finish());
}

QByteArray Compose(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    QByteArray bytes;
    const bool fits = Windows1250::Encode(text, bytes);
    // Windows-1250 bytes such as "\xC6\x9C" ("Ćś") may also form valid UTF-8, which the reader
    // would take them for; such a text goes out as UTF-8 so that it reads back unchanged. (Plain
    // ASCII is the same bytes either way.)
    if (fits && !IsValidUtf8(bytes))
        return bytes;
    return text.toUtf8();
}

bool Load(const QString& path, QStringList& lines)
{
    lines.clear();
    QFile file(path);
    // On Windows the file cannot be opened for the moment a save replaces it; it is there all
    // the same, so the open is tried again rather than the file taken for missing.
    for (int attempt = 1; !file.open(QIODevice::ReadOnly); ++attempt) {
        if (attempt >= kReplaceAttempts || !QFileInfo::exists(path))
            return false;
        QThread::msleep(kReplaceRetryMs);
    }
    LineSplitter splitter;
    char chunk[16384];
    for (qint64 total = 0; total < kMaxReadBytes;) {
        const qint64 n = file.read(chunk, sizeof chunk);
        if (n <= 0 || !splitter.Feed(chunk, n))
            break;
        total += n;
    }
    lines = Decode(splitter.Finish());
    return true;
}

void Save(const QString& path, const QStringList& lines)
{
    const QByteArray bytes = Compose(lines);
    for (int attempt = 1;; ++attempt) {
        QSaveFile file(path);
        // commit() alone does not notice a buffered write that failed (disk full, size limit):
        // flush and check the error first, so a cut-off file never replaces the old one.
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
            && file.error() == QFileDevice::NoError && file.commit())
            return;
        if (file.error() != QFileDevice::RenameError || attempt >= kReplaceAttempts) {
            throw EFileError(QStringLiteral("Cannot create file \"%1\". %2")
                                 .arg(path, file.errorString())
                                 .toStdString());
        }
        QThread::msleep(kReplaceRetryMs);
    }
}

QStringList WithLockMarker(const QStringList& loaded, const QString& marker)
{
    QStringList out;
    out.reserve(kLockMarkerLine + 1);
    for (int i = 0; i < kLockMarkerLine; ++i)
        out.append(Line(loaded, i));
    out.append(marker);
    return out;
}

}  // namespace SettingsFile
