#include "ComSpeedLinux.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace {
// Fills either structure: termios and termios2 share these fields.
template <typename Termios>
void Fill(Termios& t, unsigned iflag, unsigned oflag, unsigned cflag, unsigned lflag,
          const unsigned char* cc, unsigned ccCount)
{
    t.c_iflag = iflag;
    t.c_oflag = oflag;
    t.c_lflag = lflag;
    for (unsigned i = 0; i < ccCount && i < NCCS; ++i)
        t.c_cc[i] = cc[i];
    // Input speed bits left 0: the input speed follows the output speed.
    t.c_cflag = cflag & ~(CBAUD | (CBAUD << IBSHIFT));
}
}  // namespace

bool ComSetLine(int fd, unsigned iflag, unsigned oflag, unsigned cflag, unsigned lflag,
                const unsigned char* cc, unsigned ccCount, unsigned speedCode, unsigned speed)
{
    if (speedCode != 0) {
        struct termios t {};
        if (ioctl(fd, TCGETS, &t) != 0)
            return false;
        Fill(t, iflag, oflag, cflag, lflag, cc, ccCount);
        t.c_cflag |= speedCode;
        return ioctl(fd, TCSETS, &t) == 0;
    }
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    Fill(t, iflag, oflag, cflag, lflag, cc, ccCount);
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = speed;
    t.c_ospeed = speed;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool ComGetSpeed(int fd, unsigned* speed)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    *speed = t.c_ospeed;
    return true;
}
