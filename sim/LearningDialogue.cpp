#include "LearningDialogue.h"

#include "Cp1250.h"

#include <string_view>

namespace sim {
namespace {

const std::string kEsc = "\x1b";

std::string At(int row, int col)
{
    return kEsc + "[" + std::to_string(row) + ";" + std::to_string(col) + "H";
}

std::string Coloured(std::string_view sgr, std::string_view utf8)
{
    return kEsc + "[" + std::string(sgr) + "m" + Utf8ToCp1250(utf8) + kEsc + "[0m";
}

// '_' is the controller's own clear-screen character; the ESC sequences home the cursor and
// reset attributes for terminals that keep them across a clear.
std::string Header()
{
    return "_" + kEsc + "[0m" + kEsc + "[2J" + kEsc + "[H"
        + Coloured("1;37;44", "  NAUKA KODÓW PILOTA RC-5  ");
}

}  // namespace

std::string LearningDialogue::Start(int64_t now)
{
    (void)now;
    codes_.fill(kNoCode);
    phase_ = Phase::Asking;
    escape_ = Escape::None;
    output_ = 1;
    std::string s = Header();
    s += At(3, 1) + Utf8ToCp1250("Sterownik uczy się kodów pilota dla kolejnych wyjść.");
    s += At(4, 1) + Utf8ToCp1250("Po nauce sterownik trzeba zresetować.");
    return s + StepScreen().substr(Header().size());
}

std::string LearningDialogue::StepScreen() const
{
    std::string s = Header();
    s += At(6, 1) + Coloured("1;33", "Wyjście " + std::to_string(output_) + " z 16");
    s += At(8, 1) + Utf8ToCp1250("Skieruj pilota na sterownik i naciśnij przycisk,");
    s += At(9, 1) + Utf8ToCp1250("który ma sterować tym wyjściem.");
    s += At(11, 1) + Utf8ToCp1250("Spacja pomija to wyjście.");
    s += At(13, 1) + Utf8ToCp1250("Czekam na kod pilota... ");
    return s;
}

std::string LearningDialogue::FinalScreen() const
{
    int learned = 0;
    for (int c : codes_)
        learned += c != kNoCode ? 1 : 0;
    std::string s = Header();
    s += At(3, 1) + Coloured("1;32", "Nauka zakończona.");
    s += At(4, 1) + Utf8ToCp1250("Zapamiętane kody: " + std::to_string(learned) + " z 16.");
    s += At(6, 1) + Coloured("1;31", "Naciśnij przycisk Reset w sterowniku.");
    s += At(7, 1) + Utf8ToCp1250("Do czasu resetu sterownik nie przyjmuje poleceń.");
    return s;
}

std::string LearningDialogue::Key(uint8_t byte, int64_t now)
{
    // Keys such as the arrows arrive as escape sequences: they are not remote keys.
    if (escape_ == Escape::Started) {
        escape_ = (byte == '[' || byte == 'O') ? Escape::Sequence : Escape::None;
        return {};
    }
    if (escape_ == Escape::Sequence) {
        if (byte >= 0x40 && byte <= 0x7E)
            escape_ = Escape::None;
        return {};
    }
    if (byte == 0x1B) {
        escape_ = Escape::Started;
        return {};
    }
    if (phase_ != Phase::Asking)
        return {};   // busy showing the last result
    if (byte == ' ') {
        phase_ = Phase::Showing;
        nextStepUs_ = now + stepPauseUs_;
        return At(15, 1) + Utf8ToCp1250("Wyjście pominięte.");
    }
    if (byte < 0x21 || byte > 0x7E)
        return {};
    const int code = CodeForKey(byte);
    const int owner = OutputForCode(code);
    if (owner != 0) {
        return At(15, 1) + kEsc + "[K"
            + Coloured("1;31", "Ten kod steruje już wyjściem " + std::to_string(owner)
                + ". Naciśnij inny przycisk.");
    }
    codes_[output_ - 1] = code;
    phase_ = Phase::Showing;
    nextStepUs_ = now + stepPauseUs_;
    return At(15, 1) + kEsc + "[K"
        + Coloured("1;32", "Zapamiętano kod: adres 0, komenda " + std::to_string(code) + ".");
}

std::string LearningDialogue::Tick(int64_t now)
{
    if (phase_ != Phase::Showing || now < nextStepUs_)
        return {};
    if (output_ >= kOutputs) {
        phase_ = Phase::Finished;
        return FinalScreen();
    }
    ++output_;
    phase_ = Phase::Asking;
    return StepScreen();
}

std::optional<int64_t> LearningDialogue::Deadline() const
{
    if (phase_ == Phase::Showing)
        return nextStepUs_;
    return std::nullopt;
}

int LearningDialogue::OutputForCode(int code) const
{
    if (code == kNoCode)
        return 0;
    for (int j = 1; j <= kOutputs; ++j)
        if (codes_[j - 1] == code)
            return j;
    return 0;
}

void LearningDialogue::Reset()
{
    phase_ = Phase::Idle;
    escape_ = Escape::None;
    output_ = 0;
}

}  // namespace sim
