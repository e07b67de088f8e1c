#pragma once
// Line settings through the Linux termios2 interface, which takes any speed in bit/s. Kept apart
// from the termios code because the kernel's termios2 header clashes with <termios.h>.

// Hands the flags and control characters (indexed as in <termios.h>) to the driver in one call.
// `speedCode` is the B-constant of a standard rate, or 0 to ask for `speed` bit/s exactly.
// Unlike tcsetattr, a driver that quietly adjusts what it cannot do (a pty keeps 8 data bits)
// is not taken for a refusal. False with errno set on failure.
bool ComSetLine(int fd, unsigned iflag, unsigned oflag, unsigned cflag, unsigned lflag,
                const unsigned char* cc, unsigned ccCount, unsigned speedCode, unsigned speed);
// Reads the output speed in bit/s, whatever way it was set. False with errno set on failure.
bool ComGetSpeed(int fd, unsigned* speed);
