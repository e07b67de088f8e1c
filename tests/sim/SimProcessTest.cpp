// The simulator as the console meets it: through its pty, its standard input and its files.
#include "LineEnd.h"
#include "SimulatorProcess.h"
#include "WaitFor.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <sstream>
#include <thread>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Sleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string Zeros(size_t n)
{
    return std::string(n, '0');
}

// A routing write in the console's order: input k of output j at 16*(j-1)+(k-1).
std::string OneCell(int k, int j)
{
    std::string s = Zeros(256);
    s[static_cast<size_t>(16 * (j - 1) + (k - 1))] = '1';
    return s;
}

struct LogLine {
    int64_t us;
    std::string kind;
    std::string rest;
};

bool Digits(const std::string& s, size_t from, size_t to, bool hex)
{
    if (from >= to || to > s.size())
        return false;
    for (size_t i = from; i < to; ++i) {
        const char c = s[i];
        if (!((c >= '0' && c <= '9') || (hex && c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// "<us> RX|TX <2 hex> <1 char>" or "<us> EV <text>"; anything else fails the test.
std::vector<LogLine> ParseLog(const std::string& text)
{
    std::vector<LogLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t sp = line.find(' ');
        const bool stamp = sp != std::string::npos && Digits(line, 0, sp, false);
        const std::string kind = stamp ? line.substr(sp + 1, 2) : "";
        const bool byteLine = (kind == "RX" || kind == "TX") && line.size() == sp + 8 && line[sp + 3] == ' '
            && Digits(line, sp + 4, sp + 6, true) && line[sp + 6] == ' ' && line[sp + 7] > ' ';
        const bool eventLine = kind == "EV" && line.size() > sp + 4 && line[sp + 3] == ' ';
        if (!stamp || !(byteLine || eventLine)) {
            ADD_FAILURE() << "log line in no known format: " << line;
            continue;
        }
        lines.push_back({std::stoll(line.substr(0, sp)), kind, byteLine ? line.substr(sp + 4, 2) : line.substr(sp + 4)});
    }
    return lines;
}

std::string Bytes(const std::vector<LogLine>& log, const std::string& kind)
{
    std::string out;
    for (const LogLine& l : log)
        if (l.kind == kind)
            out.push_back(static_cast<char>(std::stoi(l.rest, nullptr, 16)));
    return out;
}

class SimProcessTest : public ::testing::Test {
protected:
    SimulatorProcess sim;   // in a temporary folder of its own
    const std::string link = sim.LinkPath();
    const std::string log = sim.LogPath();
};

}  // namespace

TEST_F(SimProcessTest, AnswersEveryCommandThroughItsPty)
{
    ASSERT_TRUE(sim.Start({"--no-pacing", "--save-ms", "150"})) << sim.Error();
    EXPECT_NE(sim.Announcement().find(link + " -> /dev/pts/"), std::string::npos) << sim.Announcement();
    LineEnd line(link);
    ASSERT_TRUE(line.IsOpen());

    line.Write("x");
    EXPECT_EQ(line.Read(17), Zeros(16) + "!");
    line.Write("q");
    EXPECT_EQ(line.Read(16), Zeros(16));

    line.Write("0123456789=asdfg");
    line.Write("x");
    EXPECT_EQ(line.Read(17), std::string(16, '1') + "!");
    line.Write("0=g");
    line.Write("x");
    EXPECT_EQ(line.Read(17), "0111111111011110!");

    line.Write("Q");
    EXPECT_EQ(line.Read(1), "}");
    line.Write("QQ");
    EXPECT_EQ(line.Read(2), "[]");

    line.Write("C");
    EXPECT_EQ(line.Read(256), Zeros(256));

    // Routing round trip: input 16 of output 1 and input 1 of output 2.
    std::string table = OneCell(16, 1);
    table[16] = '1';
    const auto start = std::chrono::steady_clock::now();
    line.Write("c" + table);
    EXPECT_EQ(line.Read(1, 3000), "?");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    line.Write("C");
    std::string expected = Zeros(256);
    expected[0] = '1';    // output 1, input 16 comes first
    expected[31] = '1';   // output 2, input 1 comes last
    EXPECT_EQ(line.Read(256), expected);
    EXPECT_EQ(line.Drain(100), "") << "nothing unasked";
}

TEST_F(SimProcessTest, SendsAtTheSpeedOf9600Baud)
{
    ASSERT_TRUE(sim.Start()) << sim.Error();
    LineEnd line(link);
    ASSERT_TRUE(line.IsOpen());
    line.Write("C");
    std::string bytes;
    const std::vector<int64_t> seen = line.ReadTimed(256, bytes, 3000);
    ASSERT_EQ(bytes.size(), 256u);
    // A machine that takes the CPU away for a while can only make a reply slower, never faster
    // than the line; the pace itself shows in the typical gap.
    const double perByteMs = static_cast<double>(seen.back() - seen.front()) / 255.0 / 1e6;
    EXPECT_GE(perByteMs, 1.0417 * 0.95) << "as seen by the reader";

    // The log's own timestamps: the typical gap is a byte time.
    Sleep(50);
    std::vector<int64_t> tx;
    for (const LogLine& l : ParseLog(ReadFile(log)))
        if (l.kind == "TX")
            tx.push_back(l.us);
    ASSERT_EQ(tx.size(), 256u);
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < tx.size(); ++i)
        gaps.push_back(tx[i] - tx[i - 1]);
    EXPECT_GE((tx.back() - tx.front()) / 255.0, 1041.7 * 0.95);
    // A late byte is made up over the next ones at no less than 90 % of a byte time, so on a
    // busy machine the typical gap sits anywhere between that and a little over a byte time.
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_GE(gaps[gaps.size() / 2], 1041.7 * 0.85) << "median gap";
    EXPECT_LE(gaps[gaps.size() / 2], 1041.7 * 1.15) << "median gap";

    // Unpaced, the same reply is there at once.
    SimulatorProcess fast(sim.Dir());
    ASSERT_TRUE(fast.StartWithArgs({"--link", sim.Path("fast"), "--no-pacing"})) << fast.Error();
    LineEnd fastLine(sim.Path("fast"));
    fastLine.Write("C");
    const std::vector<int64_t> burst = fastLine.ReadTimed(256, bytes, 3000);
    ASSERT_EQ(bytes.size(), 256u);
    EXPECT_LT(burst.back() - burst.front(), 100'000'000);
}

TEST_F(SimProcessTest, InputChangeOnStdinTogglesRoutedOutputsAndSendsSlash)
{
    ASSERT_TRUE(sim.Start({"--no-pacing", "--save-ms", "0"})) << sim.Error();
    LineEnd line(link);
    line.Write("c" + OneCell(3, 5));
    ASSERT_EQ(line.Read(1), "?");

    sim.Command("in 3 on");
    EXPECT_EQ(line.Read(1), "/");
    line.Write("x");
    EXPECT_EQ(line.Read(17), "0000100000000000!");
    line.Write("q");
    EXPECT_EQ(line.Read(16), "0010000000000000");

    sim.Command("in 3 off");
    sim.Command("press 3 50");
    EXPECT_EQ(line.Read(1), "/");
    Sleep(150);
    line.Write("xq");
    EXPECT_EQ(line.Read(33), Zeros(16) + "!" + Zeros(16));

    // An input that controls nothing changes nothing, so nothing is announced.
    sim.Command("in 9 on");
    EXPECT_EQ(line.Drain(150), "");
    sim.Command("remote 2");
    EXPECT_EQ(line.Read(1), "/");
}

TEST_F(SimProcessTest, MalformedRoutingWritesStoreNothing)
{
    ASSERT_TRUE(sim.Start({"--no-pacing", "--write-timeout-ms", "300"})) << sim.Error();
    LineEnd line(link);

    // A pause longer than the limit inside the write.
    line.Write("c" + Zeros(20));
    Sleep(500);
    line.Write("C");
    EXPECT_EQ(line.Read(256), Zeros(256));

    // A foreign character inside the write; the stray byte is then served as a command.
    line.Write("c" + std::string(100, '1') + "x");
    EXPECT_EQ(line.Read(17), Zeros(16) + "!");
    line.Write("C");
    EXPECT_EQ(line.Read(256), Zeros(256));

    const std::string text = ReadFile(log);
    EXPECT_NE(text.find("routing write abandoned: pause of more than 300 ms after 20"), std::string::npos);
    EXPECT_NE(text.find("routing write abandoned: byte 78 after 100"), std::string::npos);
}

TEST_F(SimProcessTest, DefaultWriteLimitToleratesTheConsolesOwnPacing)
{
    ASSERT_TRUE(sim.Start({"--no-pacing", "--save-ms", "0"})) << sim.Error();
    LineEnd line(link);
    const std::string table = OneCell(1, 1);
    // One second after "c", then gaps that grow to 1.5 s: all within the 5 s limit.
    line.Write("c");
    Sleep(1000);
    for (size_t i = 0; i < table.size(); ++i) {
        line.Write(std::string(1, table[i]));
        if (i == 10 || i == 200)
            Sleep(1500);
    }
    EXPECT_EQ(line.Read(1), "?");
    line.Write("C");
    EXPECT_EQ(line.Read(256).find('1'), 15u);
}

TEST_F(SimProcessTest, LogRecordsWhatCrossedTheWireInOrder)
{
    ASSERT_TRUE(sim.Start({"--no-pacing"})) << sim.Error();
    LineEnd line(link);
    line.Write("xZ3q");
    const std::string got = line.Read(33);
    ASSERT_EQ(got.size(), 33u);
    sim.Command("mode");
    EXPECT_EQ(line.Read(1), "}");
    Sleep(100);

    const std::vector<LogLine> lines = ParseLog(ReadFile(log));
    EXPECT_EQ(Bytes(lines, "RX"), "xZ3q");
    EXPECT_EQ(Bytes(lines, "TX"), got + "}");
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_LE(lines[i - 1].us, lines[i].us);
    auto has = [&](const std::string& text) {
        return std::any_of(lines.begin(), lines.end(), [&](const LogLine& l) { return l.kind == "EV" && l.rest == text; });
    };
    EXPECT_TRUE(has("ignored 5a (not a command)"));
    EXPECT_TRUE(has("output 4 on"));
    EXPECT_TRUE(has("control mode"));
    EXPECT_TRUE(has("peer opened"));
    // The timestamps are the monotonic clock tests have as well.
    const int64_t nowUs = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count();
    EXPECT_LE(lines.back().us, nowUs);
    EXPECT_GT(lines.back().us, nowUs - 10'000'000);
}

TEST_F(SimProcessTest, ScriptRunsItsTimedStepsAndEndsTheSimulator)
{
    {
        std::ofstream script(sim.Path("script"));
        script << "# demo\nwait 400\nmode\nwait 200\nsend 5f\n";
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.Start({"--no-pacing", "--script", sim.Path("script")})) << sim.Error();
    LineEnd line(link);
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.Read(1, 2000), "}");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(380));
    EXPECT_EQ(line.Read(1, 2000), "_");
    EXPECT_EQ(sim.WaitExit(3000), 0);
    EXPECT_FALSE(Exists(link)) << "the link goes with the simulator";

    // A broken script is refused before anything starts.
    {
        std::ofstream script(sim.Path("bad"));
        script << "wait 10\nin 17 on\n";
    }
    ASSERT_TRUE(sim.StartWithArgs({"--link", sim.Path("other"), "--script", sim.Path("bad")}, false));
    EXPECT_EQ(sim.WaitExit(3000), 1);
    EXPECT_FALSE(Exists(sim.Path("other")));
}

TEST_F(SimProcessTest, HangupUnplugsTheCableAndTheDeviceComesBackUnderItsName)
{
    ASSERT_TRUE(sim.Start({"--no-pacing"})) << sim.Error();
    LineEnd line(link);
    line.Write("5");
    line.Write("x");
    ASSERT_EQ(line.Read(17), "0000010000000000!");

    const auto start = std::chrono::steady_clock::now();
    sim.Command("hangup 400");
    EXPECT_TRUE(line.WaitHangup(2000));
    EXPECT_TRUE(WaitFor([&] { return !Exists(link); }, 500)) << "the device is gone while unplugged";
    EXPECT_TRUE(WaitFor([&] { return Exists(link); }, 2000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(350));
    EXPECT_NE(sim.ReadLine(1000).find(link + " -> /dev/pts/"), std::string::npos);

    LineEnd again(link);
    ASSERT_TRUE(again.IsOpen());
    again.Write("x");
    EXPECT_EQ(again.Read(17), "0000010000000000!") << "the controller kept its state";
    EXPECT_NE(ReadFile(log).find("EV hangup for 400 ms"), std::string::npos);
}

TEST_F(SimProcessTest, OutlivesAVanishedConsoleAndServesTheNextOne)
{
    ASSERT_TRUE(sim.Start()) << sim.Error();
    for (int round = 0; round < 3; ++round) {
        LineEnd line(link);
        ASSERT_TRUE(line.IsOpen()) << round;
        line.Drain(50);
        line.Write("C");   // closed in the middle of the reply
        line.Read(10);
        line.Close();
        Sleep(50);
    }
    // A console that writes and is gone before the simulator saw it: its byte is served at
    // once, not kept for whoever opens the line next.
    {
        LineEnd quick(link);
        quick.Write("q");
    }
    Sleep(150);
    EXPECT_NE(ReadFile(log).find(" RX 71 q"), std::string::npos);

    LineEnd line(link);
    line.Drain(100);
    line.Write("x");
    EXPECT_EQ(line.Read(17), Zeros(16) + "!");
    EXPECT_EQ(sim.WaitExit(0), -1) << "still running";
    EXPECT_NE(ReadFile(log).find("EV peer closed with"), std::string::npos);
}

TEST_F(SimProcessTest, StateFileKeepsTableOutputsAndModeAcrossRestarts)
{
    const std::string state = sim.Path("state");
    pid_t writer = -1;
    {
        ASSERT_TRUE(sim.Start({"--no-pacing", "--save-ms", "0", "--state", state})) << sim.Error();
        writer = sim.Pid();
        LineEnd line(link);
        line.Write("c" + OneCell(2, 7));
        ASSERT_EQ(line.Read(1), "?");
        line.Write("Q0f");
        ASSERT_EQ(line.Read(1), "}");
        line.Write("x");
        ASSERT_EQ(line.Read(17), "1000000000000010!");
        sim.Command("quit");
        EXPECT_EQ(sim.WaitExit(3000), 0);
    }
    EXPECT_FALSE(Exists(state + ".tmp." + std::to_string(writer)));
    {
        ASSERT_TRUE(sim.Start({"--no-pacing", "--state", state})) << sim.Error();
        LineEnd line(link);
        line.Write("x");
        EXPECT_EQ(line.Read(17), "1000000000000010!");
        line.Write("C");
        std::string expected = Zeros(256);
        expected[16 * 6 + 14] = '1';   // output 7 block, input 2 is second from the end
        EXPECT_EQ(line.Read(256), expected);
        line.Write("Q");
        EXPECT_EQ(line.Read(1), "[");
    }
    // A damaged state file is reported and a fresh controller starts.
    {
        std::ofstream(state) << "selvora-sim-state 1\nmode 7\n";
    }
    ASSERT_TRUE(sim.Start({"--no-pacing", "--state", state})) << sim.Error();
    LineEnd line(link);
    line.Write("x");
    EXPECT_EQ(line.Read(17), Zeros(16) + "!");
}

TEST_F(SimProcessTest, FaultOptionsSpoilRepliesAsAsked)
{
    {
        ASSERT_TRUE(sim.Start({"--no-pacing", "--drop-rate", "1"})) << sim.Error();
        LineEnd line(link);
        line.Write("xqC");
        EXPECT_EQ(line.Drain(200), "");
    }
    {
        ASSERT_TRUE(sim.Start({"--no-pacing", "--short-replies", "1", "--seed", "3"})) << sim.Error();
        LineEnd line(link);
        for (int i = 0; i < 5; ++i) {
            line.Write("x");
            const std::string r = line.Drain(100);
            ASSERT_FALSE(r.empty());
            EXPECT_LT(r.size(), 17u);
            EXPECT_EQ(r.back(), '!');
        }
    }
    {
        ASSERT_TRUE(sim.Start({"--no-pacing", "--garbage-rate", "1"})) << sim.Error();
        LineEnd line(link);
        line.Write("q");
        const std::string r = line.Read(32);
        ASSERT_EQ(r.size(), 32u);
        for (size_t i = 1; i < r.size(); i += 2)
            EXPECT_EQ(r[i], '0');
        EXPECT_NE(ReadFile(log).find("EV fault: garbage"), std::string::npos);
    }
}

TEST_F(SimProcessTest, SilentSendAndStatusFromTheControlChannel)
{
    ASSERT_TRUE(sim.Start({"--no-pacing", "--announce-mode"})) << sim.Error();
    LineEnd line(link);
    EXPECT_EQ(line.Read(1), "]") << "the mode is announced to a new opener";
    sim.Command("silent on");
    Sleep(50);
    line.Write("x3");
    EXPECT_EQ(line.Drain(150), "");
    sim.Command("silent off");
    sim.Command("send 3f 2f");
    EXPECT_EQ(line.Read(2), "?/");
    sim.Command("in 4 on");
    sim.Command("status");
    const std::string status = sim.ReadLine(2000);
    EXPECT_NE(status.find("mode=0 inputs=0001000000000000 outputs=0001000000000000"), std::string::npos) << status;
    EXPECT_NE(status.find("peer=yes"), std::string::npos);
    sim.Command("bogus words");
    sim.Command("quit");
    EXPECT_EQ(sim.WaitExit(3000), 0) << "a bad control line is no reason to stop";
}

TEST_F(SimProcessTest, StrayBytesNeitherCrashItNorMakeItGrow)
{
    // No log: its growth would blur the simulator's own.
    ASSERT_TRUE(sim.StartWithArgs({"--link", link, "--no-pacing", "--write-timeout-ms", "100", "--learning-step-ms", "1"}))
        << sim.Error();
    LineEnd line(link);
    line.Write("x");
    ASSERT_EQ(line.Read(17).size(), 17u);
    const long before = sim.RssKb();

    std::mt19937 rng(99);
    for (int chunk = 0; chunk < 200; ++chunk) {
        std::string junk(1000, '\0');
        for (char& c : junk)
            c = static_cast<char>(rng());
        line.Write(junk);
        line.Drain(1, 20);
    }
    line.Drain(200, 5000);
    EXPECT_EQ(sim.WaitExit(0), -1) << "still running";
    EXPECT_LT(sim.RssKb() - before, 4096) << "kB grown";

    sim.Command("reset");
    Sleep(300);
    line.Drain(100);
    line.Write("x");
    const std::string r = line.Read(17);
    EXPECT_EQ(r, Zeros(16) + "!");
}

TEST_F(SimProcessTest, LearningDialogueRunsInWindows1250UntilReset)
{
    ASSERT_TRUE(sim.Start({"--no-pacing", "--learning-step-ms", "30"})) << sim.Error();
    LineEnd line(link);
    line.Write("R");
    std::string screen = line.Drain(100);
    ASSERT_FALSE(screen.empty());
    EXPECT_EQ(screen.front(), '_');
    EXPECT_NE(screen.find("\x1b[2J"), std::string::npos);
    EXPECT_NE(screen.find("Wyj\x9C" "cie 1 z 16"), std::string::npos);
    line.Write("x");
    EXPECT_EQ(line.Drain(100).find('!'), std::string::npos) << "a key while learning, not a request";
    std::string all;
    for (char k : std::string("bcdefghijklmnop")) {
        line.Write(std::string(1, k));
        all += line.Drain(80);
    }
    EXPECT_NE(all.find("Naci\x9Cnij przycisk Reset w sterowniku."), std::string::npos);
    line.Write("x");
    EXPECT_EQ(line.Drain(150), "") << "waits for its reset";
    sim.Command("reset");
    Sleep(50);
    line.Write("x");
    EXPECT_EQ(line.Read(17), Zeros(16) + "!");
}

TEST_F(SimProcessTest, LinkIsRemovedOnSignalsAndForeignFilesAreNotReplaced)
{
    ASSERT_TRUE(sim.StartWithArgs({"--link", link})) << sim.Error();
    ASSERT_TRUE(Exists(link));
    ::kill(sim.Pid(), SIGINT);
    EXPECT_EQ(sim.WaitExit(3000), 0);
    EXPECT_FALSE(Exists(link));

    ASSERT_TRUE(sim.StartWithArgs({})) << sim.Error();
    EXPECT_TRUE(Exists(sim.Path("ttyCONTROLLER"))) << "default link in the working directory";

    std::ofstream(sim.Path("precious")) << "data";
    ASSERT_TRUE(sim.StartWithArgs({"--link", sim.Path("precious")}, false));
    EXPECT_EQ(sim.WaitExit(3000), 1);
    EXPECT_EQ(ReadFile(sim.Path("precious")), "data");
}

TEST_F(SimProcessTest, ServesAnExistingDeviceAndTogglesRandomInputs)
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);   // the simulator opens it by name
    {
        ASSERT_TRUE(sim.StartWithArgs({"--device", name, "--no-pacing", "--random-inputs", "3000", "--seed", "5",
                                       "--log", log}))
            << sim.Error();
        EXPECT_EQ(sim.Announcement(), std::string("selvora-sim: ") + name);
        ASSERT_EQ(::write(master, "x", 1), 1);
        std::string got;
        for (int i = 0; i < 100 && got.find('!') == std::string::npos; ++i) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[64];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, static_cast<size_t>(n));
            }
        }
        ASSERT_EQ(got.size(), 17u) << got;
        EXPECT_EQ(got.back(), '!');
        Sleep(600);
        sim.Stop();
    }
    ::close(master);
    // About 50 a second; the exact count depends on the machine's timing.
    const std::string text = ReadFile(log);
    size_t count = 0;
    for (size_t at = text.find("EV random input "); at != std::string::npos; at = text.find("EV random input ", at + 1))
        ++count;
    EXPECT_GE(count, 8u);
    EXPECT_LE(count, 120u);
    EXPECT_NE(text.find(" EV input "), std::string::npos);
}

TEST_F(SimProcessTest, QuitEndsPromptlyWhileTheConsoleKeepsPolling)
{
    ASSERT_TRUE(sim.Start()) << sim.Error();
    LineEnd line(link);
    line.Write("x");
    ASSERT_EQ(line.Read(17), Zeros(16) + "!");
    line.Write("x");
    sim.Command("quit");
    const auto start = std::chrono::steady_clock::now();
    const bool ended = WaitFor(
        [&] {
            try {
                line.Write("x");
            } catch (const std::runtime_error&) {
                // The line went away with the simulator.
            }
            line.Drain(1, 20);
            return !sim.Running();
        },
        3000, 30);
    EXPECT_TRUE(ended);
    EXPECT_EQ(sim.WaitExit(0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}
