#include "E2eHarness.h"

#include "ConfigFile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <ctime>

namespace e2e {

int64_t NowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void SleepMs(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms));
}

QString BuildDir()
{
    const QString dir = qEnvironmentVariable("KONF_BUILD_DIR");
    return dir.isEmpty() ? QDir::currentPath() : dir;
}

QStringList MissingTools()
{
    QStringList missing;
    for (const QString& tool : {QStringLiteral("Xvfb"), QStringLiteral("xdotool"), QStringLiteral("import")})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            missing << tool;
    return missing;
}

QString Executable(const QString& name)
{
    const QString path = QDir(BuildDir()).filePath(name);
    return QFileInfo(path).isExecutable() ? path : QString();
}

// --- X server ---

XServer::~XServer()
{
    Stop();
}

bool XServer::Start(QString* error)
{
    // -displayfd makes the server pick a free display and tell us its number. -noreset: without
    // it the server resets whenever its last client leaves, and a client whose connection comes
    // in while that happens is dropped before it is set up ("could not connect to display").
    // Each xdotool call of a test is such a last client until the console is up.
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.setStandardErrorFile(logDir_.filePath(QStringLiteral("xvfb.log")));
    server_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                          QStringLiteral("-noreset"),
                                          QStringLiteral("-screen"), QStringLiteral("0"),
                                          QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                                          QStringLiteral("tcp")});
    if (!server_.waitForStarted(5000)) {
        *error = QStringLiteral("Xvfb did not start: ") + server_.errorString();
        return false;
    }
    started_ = true;
    reported_ = false;
    pid_ = server_.processId();
    QByteArray out;
    const int64_t end = NowUs() + 10'000'000;
    while (!out.contains('\n') && NowUs() < end && server_.state() == QProcess::Running) {
        server_.waitForReadyRead(200);
        out += server_.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        *error = QStringLiteral("Xvfb gave no display number\n") + Report();
        reported_ = true;
        Stop();
        return false;
    }
    display_ = QStringLiteral(":%1").arg(number);
    int exitCode = -1;
    QByteArray complaint;
    Run(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")}, &exitCode, 5000, &complaint);
    if (exitCode != 0) {
        *error = QStringLiteral("Xvfb announced display %1 but takes no client: %2\n")
                     .arg(display_, QString::fromLocal8Bit(complaint).trimmed()) + Report();
        reported_ = true;
        Stop();
        return false;
    }
    return true;
}

QString XServer::Report()
{
    QString state;
    if (server_.state() == QProcess::Running && !server_.waitForFinished(0))
        state = QStringLiteral("running");
    else if (server_.exitStatus() == QProcess::CrashExit)
        state = QStringLiteral("ended by a signal (%1)").arg(server_.exitCode());
    else
        state = QStringLiteral("ended with exit code %1").arg(server_.exitCode());
    QByteArray log = ReadFileBytes(logDir_.filePath(QStringLiteral("xvfb.log")));
    if (log.size() > 4000)
        log = "...\n" + log.right(4000);
    return QStringLiteral("Xvfb on display %1 (pid %2): %3; it wrote on stderr:\n%4")
        .arg(display_.isEmpty() ? QStringLiteral("(none)") : display_)
        .arg(pid_)
        .arg(state, log.isEmpty() ? QStringLiteral("(nothing)") : QString::fromLocal8Bit(log));
}

void XServer::Stop()
{
    if (!started_)
        return;
    started_ = false;
    // Once a test failed, how its display fared is part of why.
    const bool endedByItself = server_.state() == QProcess::NotRunning || server_.waitForFinished(0);
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    const bool failed = unit.current_test_info() ? unit.current_test_info()->result()->Failed()
                        : unit.current_test_suite() ? unit.current_test_suite()->Failed()
                                                    : unit.Failed();
    if ((endedByItself || failed) && !reported_) {
        reported_ = true;
        std::fprintf(stderr, "%s\n", qPrintable(Report()));
    }
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.terminate();
    if (!server_.waitForFinished(3000)) {
        server_.kill();
        server_.waitForFinished(3000);
    }
}

bool XServer::Running() const
{
    return server_.state() == QProcess::Running;
}

QByteArray XServer::Run(const QString& program, const QStringList& args, int* exitCode,
                        int timeoutMs, QByteArray* errors) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    p.setProcessEnvironment(env);
    if (!errors)
        p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForStarted(5000)) {
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (errors)
        *errors = p.readAllStandardError();
    return p.readAllStandardOutput();
}

std::vector<qulonglong> XServer::FindWindows(const QString& nameRegex) const
{
    const QByteArray out = Run(QStringLiteral("xdotool"),
                               {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                QStringLiteral("--name"), nameRegex});
    std::vector<qulonglong> ids;
    for (const QByteArray& line : out.split('\n')) {
        bool ok = false;
        const qulonglong id = line.trimmed().toULongLong(&ok);
        if (ok)
            ids.push_back(id);
    }
    return ids;
}

qulonglong XServer::WaitWindow(const QString& nameRegex, int timeoutMs) const
{
    qulonglong found = 0;
    WaitFor(
        [&] {
            const auto ids = FindWindows(nameRegex);
            if (!ids.empty())
                found = ids.front();
            return found != 0;
        },
        timeoutMs, kPollMs);
    return found;
}

bool XServer::WaitNoWindow(const QString& nameRegex, int timeoutMs) const
{
    return WaitFor([&] { return FindWindows(nameRegex).empty(); }, timeoutMs, kPollMs);
}

QString XServer::WindowName(qulonglong id) const
{
    return QString::fromUtf8(
        Run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), QString::number(id)}))
        .trimmed();
}

QRect XServer::WindowGeometry(qulonglong id) const
{
    const QString out = QString::fromUtf8(Run(
        QStringLiteral("xdotool"),
        {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::number(id)}));
    QRect r;
    for (const QString& line : out.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (key == QLatin1String("X"))
            r.moveLeft(value);
        else if (key == QLatin1String("Y"))
            r.moveTop(value);
        else if (key == QLatin1String("WIDTH"))
            r.setWidth(value);
        else if (key == QLatin1String("HEIGHT"))
            r.setHeight(value);
    }
    return r;
}

void XServer::MoveMouse(qulonglong window, int x, int y) const
{
    // No --sync: it waits for a motion that never comes when the pointer is already there.
    Run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"),
                                    QString::number(window), QString::number(x), QString::number(y)});
    SleepMs(30);
}

void XServer::Click(qulonglong window, int x, int y) const
{
    MoveMouse(window, x, y);
    Run(QStringLiteral("xdotool"), {QStringLiteral("click"), QStringLiteral("1")});
}

void XServer::Focus(qulonglong window) const
{
    Run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                    QString::number(window)});
}

void XServer::Key(const QString& keys) const
{
    Run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--delay"),
                                    QStringLiteral("30"), keys});
}

void XServer::Type(const QString& text) const
{
    Run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                    QStringLiteral("30"), text});
}

QImage XServer::Grab(qulonglong window) const
{
    int code = 0;
    const QByteArray png = Run(QStringLiteral("import"),
                               {QStringLiteral("-silent"), QStringLiteral("-window"),
                                QString::number(window), QStringLiteral("png:-")},
                               &code);
    QImage image;
    if (code == 0)
        image.loadFromData(png, "PNG");
    return image.convertToFormat(QImage::Format_RGB32);
}

// --- Console ---

Console::~Console()
{
    Kill();
}

bool Console::Start(const XServer& x, const QString& workDir, QString* error)
{
    const QString exe = Executable(QStringLiteral("konfigurator"));
    if (exe.isEmpty()) {
        *error = QStringLiteral("konfigurator is not built in ") + BuildDir();
        return false;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.Display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    env.remove(QStringLiteral("QT_SCALE_FACTOR"));
    env.remove(QStringLiteral("SESSION_MANAGER"));
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(workDir);
    outPath_ = QDir(workDir).filePath(QStringLiteral("konfigurator.out"));
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(outPath_, QIODevice::Append);
    process_.start(exe, {});
    if (!process_.waitForStarted(5000)) {
        *error = QStringLiteral("konfigurator did not start: ") + process_.errorString();
        return false;
    }
    return true;
}

void Console::Kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool Console::Running() const
{
    return process_.state() == QProcess::Running;
}

bool Console::WaitExit(int timeoutMs)
{
    if (process_.state() == QProcess::NotRunning)
        return true;
    return process_.waitForFinished(timeoutMs);
}

long Console::RssKb() const
{
    QFile f(QStringLiteral("/proc/%1/status").arg(Pid()));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

QString Console::Output() const
{
    return QString::fromUtf8(ReadFileBytes(outPath_));
}

// --- Files ---

void WriteSettings(const QString& dir, const QString& port, bool unlocked)
{
    TConfigFile config;
    config.port = port;
    config.inputName = QStringLiteral("Wejscie %1");
    config.outputName = QStringLiteral("Wyjscie %1");
    if (!unlocked)
        config.marker.reset();
    config.Write(QDir(dir).filePath(QStringLiteral("config.ini")));
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList ReadSettingsLines(const QString& dir)
{
    // Written in Windows-1250; names that do not fit it make the whole file UTF-8.
    const QByteArray bytes = ReadFileBytes(QDir(dir).filePath(QStringLiteral("config.ini")));
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QStringDecoder("windows-1250").decode(bytes);
    if (text.endsWith(QStringLiteral("\r\n")))
        text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

// --- Pictures ---

QImage Crop(const QImage& image, const QRect& r)
{
    return image.copy(r);
}

bool SameImage(const QImage& a, const QImage& b)
{
    return !a.isNull() && a.size() == b.size() && Difference(a, b) == 0.0;
}

double Difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    long differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                ++differing;
    return double(differing) / (a.width() * a.height());
}

// A check mark is the only dark ink inside an indicator square; the captions beside it are left
// out. Counting it, rather than comparing pixels, tolerates the one-pixel offsets between the
// legend samples and the state boxes.
static int CheckInk(const QImage& window, const QRect& box)
{
    const QRect square(box.left() - 1, box.top(), 16, box.height());
    int dark = 0;
    for (int y = square.top(); y <= square.bottom(); ++y)
        for (int x = square.left(); x <= square.right(); ++x)
            if (window.valid(x, y) && qGray(window.pixel(x, y)) < 100)
                ++dark;
    return dark;
}

Displays ReadDisplays(const QImage& window)
{
    Displays d;
    if (window.isNull())
        return d;
    const int on = CheckInk(window, layout::LegendChecked());
    const int off = CheckInk(window, layout::LegendUnchecked());
    const int onOutputs = CheckInk(window, layout::LegendOn());
    if (on - off < 8 || onOutputs - off < 8)
        return d;   // the samples are covered or not painted yet
    auto read = [&](const QRect& box) {
        const int ink = CheckInk(window, box);
        return ink * 2 >= on + off ? '1' : '0';
    };
    for (int k = 1; k <= 16; ++k)
        d.inputs.push_back(read(layout::InputIndicator(k)));
    for (int j = 1; j <= 16; ++j)
        d.outputs.push_back(read(layout::OutputIndicator(j)));
    d.valid = true;
    return d;
}

QString UnlockCodeFor(const QDate& day)
{
    return QStringLiteral("SELVOR-") + QLocale::c().toString(day, QLocale::ShortFormat);
}

}  // namespace e2e
