// Prints MB/s of the escape decoder, the terminal model and the control (painting offscreen)
// on three byte streams of several MiB, and the same streams through libvterm in the same run.
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ComTermModel.h"
#include "ComTerminal.h"
#include "EscapeCodesVT100.h"

#ifdef KONF_HAVE_VTERM
#include <vterm.h>
#endif

namespace {

const std::size_t WorkloadBytes = 4u << 20;

std::string Word(std::mt19937& rng)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string w(1 + rng() % 9, ' ');
    for (char& c : w)
        c = letters[rng() % (sizeof(letters) - 1)];
    return w;
}

std::string PlainText()
{
    std::mt19937 rng(1);
    std::string s;
    while (s.size() < WorkloadBytes) {
        std::string line;
        const std::size_t len = 20 + rng() % 59;
        while (line.size() < len)
            line += Word(rng) + ' ';
        s += line.substr(0, len) + "\r\n";
    }
    return s;
}

std::string SgrText()
{
    std::mt19937 rng(2);
    std::string s;
    int col = 0;
    while (s.size() < WorkloadBytes) {
        switch (rng() % 4) {
        case 0: s += "\x1b[" + std::to_string(30 + rng() % 8) + "m"; break;
        case 1: s += "\x1b[1;" + std::to_string(30 + rng() % 8) + ";" + std::to_string(40 + rng() % 8) + "m"; break;
        case 2: s += "\x1b[0m"; break;
        default: s += "\x1b[4;7m"; break;
        }
        const std::string w = Word(rng) + ' ';
        s += w;
        col += static_cast<int>(w.size());
        if (col > 70) {
            s += "\r\n";
            col = 0;
        }
    }
    return s;
}

std::string CursorText()
{
    std::mt19937 rng(3);
    std::string s;
    while (s.size() < WorkloadBytes) {
        switch (rng() % 6) {
        case 0: s += "\x1b[" + std::to_string(1 + rng() % 24) + ";" + std::to_string(1 + rng() % 80) + "H"; break;
        case 1: s += "\x1b[" + std::to_string(1 + rng() % 5) + "A"; break;
        case 2: s += "\x1b[" + std::to_string(1 + rng() % 5) + "B"; break;
        case 3: s += "\x1b[" + std::to_string(1 + rng() % 9) + "C"; break;
        case 4: s += "\x1b[D\x1b[K"; break;
        default: s += "\x1b[s\x1b[H\x1b[u"; break;
        }
        s += Word(rng);
    }
    return s;
}

// Best of a few runs: the machine is shared.
double BestMBps(const std::string& data, const std::function<void()>& reset,
                const std::function<void(const char*, std::size_t)>& feed, int runs = 5)
{
    double best = 0;
    for (int r = 0; r < runs; ++r) {
        reset();
        const auto t0 = std::chrono::steady_clock::now();
        const std::size_t chunk = 4096;
        for (std::size_t i = 0; i < data.size(); i += chunk)
            feed(data.data() + i, std::min(chunk, data.size() - i));
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = std::max(best, data.size() / 1e6 / s);
    }
    return best;
}

class CountingHost : public TTermModelHost {
public:
    std::size_t chars = 0;
    std::function<void(char)> onChar;
    void FireChar(char ch) override
    {
        ++chars;
        if (onChar)
            onChar(ch);
    }
};

volatile std::size_t sink;

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    struct Workload {
        const char* name;
        std::string data;
    };
    std::vector<Workload> workloads = {
        {"plain text + LF", PlainText()}, {"SGR colour", SgrText()}, {"cursor motion", CursorText()}};

    std::printf("%-16s %8s | %10s %10s %7s | %10s %10s %7s | %10s\n", "workload", "MiB", "decoder",
                "vterm-prs", "ratio", "model", "vterm-scr", "ratio", "control");
    for (const Workload& w : workloads) {
        // Decoder alone.
        TEscapeCodesVT100 decoder;
        std::size_t codes = 0;
        const double dec = BestMBps(
            w.data, [&] { codes = 0; },
            [&](const char* p, std::size_t n) {
                for (std::size_t i = 0; i < n; ++i)
                    if (decoder.FeedByte(static_cast<unsigned char>(p[i])) == frCodeReady) {
                        ++codes;
                        decoder.Params().clear();
                    }
            });
        sink = codes;

        // The model: decoder + buffer + OnChar (an assigned handler that counts).
        CountingHost host;
        std::size_t handled = 0;
        host.onChar = [&](char) { ++handled; };
        TComTermModel model(&host);
        model.WrapLines = true;
        const double mod = BestMBps(
            w.data, [&] { model.ClearDisplay(); }, [&](const char* p, std::size_t n) {
                model.ProcessReceived(p, static_cast<int>(n));
            });
        sink = handled;

        // The control, shown on the offscreen platform; each chunk is followed by its painting.
        TComTerminal term;
        term.SetWrapLines(true);
        term.SetScrollBars(ssVertical);
        term.setGeometry(8, 24, 593, 313);
        term.OnChar = [&](TCustomComTerminal*, char) { ++handled; };
        term.show();
        QApplication::processEvents();
        const double ctl = BestMBps(
            w.data, [&] { term.ClearDisplay(); },
            [&](const char* p, std::size_t n) {
                term.ProcessReceived(nullptr, p, static_cast<int>(n));
                QApplication::processEvents();
            },
            3);

        double vtParser = 0, vtScreen = 0;
#ifdef KONF_HAVE_VTERM
        {
            VTerm* vt = vterm_new(24, 80);
            vterm_set_utf8(vt, 0);
            static VTermParserCallbacks cb{};
            // The text callback is offered the rest of the input and says how much is text.
            cb.text = [](const char* bytes, size_t len, void*) {
                size_t i = 0;
                while (i < len) {
                    const unsigned char c = static_cast<unsigned char>(bytes[i]);
                    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
                        break;
                    ++i;
                }
                return static_cast<int>(i);
            };
            cb.control = [](unsigned char, void*) { return 1; };
            cb.escape = [](const char*, size_t len, void*) { return static_cast<int>(len); };
            cb.csi = [](const char*, const long[], int, const char*, char, void*) { return 1; };
            vterm_parser_set_callbacks(vt, &cb, nullptr);
            vtParser = BestMBps(
                w.data, [] {}, [&](const char* p, std::size_t n) { vterm_input_write(vt, p, n); });
            vterm_free(vt);
        }
        {
            VTerm* vt = vterm_new(24, 80);
            vterm_set_utf8(vt, 0);
            VTermScreen* screen = vterm_obtain_screen(vt);
            vterm_screen_reset(screen, 1);
            vtScreen = BestMBps(
                w.data, [&] { vterm_screen_reset(screen, 1); },
                [&](const char* p, std::size_t n) { vterm_input_write(vt, p, n); });
            vterm_free(vt);
        }
#endif
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        std::printf("%-16s %8.1f | %10.1f %10.1f %6.2fx | %10.1f %10.1f %6.2fx | %10.1f   (MB/s)\n",
                    w.name, w.data.size() / 1048576.0, dec, vtParser, ratio(dec, vtParser), mod,
                    vtScreen, ratio(mod, vtScreen), ctl);
    }
    return 0;
}
