// A console link on a real pseudo-terminal, with consoles that open, write and close it.
#include "ConsoleLink.h"
#include "WaitFor.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct LinkUnderTest {
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("ttyLINK")).toStdString();
    std::vector<std::string> log;
    std::string received;
    int opened = 0;
    int closed = 0;
    TConsoleLink link{path, ::getgid(),
                      [this](const std::string&, const std::string& text) { log.push_back(text); }};

    LinkUnderTest()
    {
        link.Open();
        QObject::connect(&link, &TConsoleLink::ClientOpened, [this] { ++opened; });
        QObject::connect(&link, &TConsoleLink::ClientClosed, [this] { ++closed; });
        QObject::connect(&link, &TConsoleLink::Received,
                         [this](const QByteArray& bytes) { received += bytes.toStdString(); });
    }
    int OpenConsole() const { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); }
};

// What the console can read within `ms`.
std::string ReadConsole(int fd, int ms)
{
    std::string got;
    char buffer[256];
    for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, ms) > 0;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

}  // namespace

TEST(ConsoleLink, AClosingConsolesBytesAreDroppedBothWaysAndTheNextStartsEmpty)
{
    LinkUnderTest t;
    int first = t.OpenConsole();
    ASSERT_GE(first, 0);
    ASSERT_TRUE(WaitFor([&] { return t.opened == 1; }));
    ASSERT_EQ(::write(first, "x", 1), 1);
    ASSERT_TRUE(WaitFor([&] { return t.received == "x"; }));
    // Its reply, which it never reads; then it closes.
    t.link.Write("0000000000000000!");
    ::close(first);
    ASSERT_TRUE(WaitFor([&] { return t.closed == 1; }));
    t.link.Write("late");   // for nobody

    const int next = t.OpenConsole();
    ASSERT_GE(next, 0);
    ASSERT_TRUE(WaitFor([&] { return t.opened == 2; }));
    Spin(50);
    EXPECT_EQ(ReadConsole(next, 100), "");
    ASSERT_EQ(::write(next, "q", 1), 1);
    ASSERT_TRUE(WaitFor([&] { return t.received == "xq"; }));
    t.link.Write("1");
    EXPECT_EQ(ReadConsole(next, 500), "1");
    ::close(next);
    ASSERT_TRUE(WaitFor([&] { return t.closed == 2; }));
}

TEST(ConsoleLink, AFloodingConsoleIsTakenAtTheLinesPaceAndSaidOnce)
{
    LinkUnderTest t;
    const int console = t.OpenConsole();
    ASSERT_GE(console, 0);
    ASSERT_TRUE(WaitFor([&] { return t.opened == 1; }));
    const auto start = std::chrono::steady_clock::now();
    const std::string chunk(4096, '\xff');
    std::size_t written = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(600)) {
        const ssize_t n = ::write(console, chunk.data(), chunk.size());
        written += n > 0 ? static_cast<std::size_t>(n) : 0;
        Spin(2);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(written, 8192u);
    // At most 960 bytes a second, plus the burst a quiet link may hand on at once.
    EXPECT_LE(t.received.size(), 960 * seconds + 2 * hub::TClientInbox::kBurst);
    EXPECT_GT(t.received.size(), 100u);
    ::close(console);
    ASSERT_TRUE(WaitFor([&] { return t.closed == 1; }));
    ASSERT_EQ(t.log.size(), 2u);   // the flood's start and its count, not a line a byte
    EXPECT_NE(t.log[1].find("bytes of the console's excess dropped"), std::string::npos) << t.log[1];
}
