#include "ComSpeedLinux.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

bool ComSetLine(int fd, unsigned iflag, unsigned oflag, unsigned cflag, unsigned lflag,
                const unsigned char* cc, unsigned ccCount, unsigned speedCode, unsigned speed)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag = iflag;
    t.c_oflag = oflag;
    t.c_lflag = lflag;
    for (unsigned i = 0; i < ccCount && i < NCCS; ++i)
        t.c_cc[i] = cc[i];
    t.c_cflag = cflag & ~(CBAUD | (CBAUD << IBSHIFT));
    if (speedCode != 0) {
        t.c_cflag |= speedCode;   // input speed follows the output speed
    } else {
        t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
        t.c_ispeed = speed;
        t.c_ospeed = speed;
    }
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
