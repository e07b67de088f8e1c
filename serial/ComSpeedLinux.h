#pragma once
// Line settings through the kernel's own termios structures. Kept apart from the termios code
// because the kernel's headers clash with <termios.h>.

// Hands the flags and control characters (indexed as in <termios.h>) to the driver in one call.
// `speedCode` is the B-constant of a standard rate: plain termios (TCGETS/TCSETS), which every
// kernel and emulator knows. 0 asks for `speed` bit/s exactly through termios2, which some
// kernels and emulators lack (they answer ENOTTY, ENOSYS or EINVAL).
// Unlike tcsetattr, a driver that quietly adjusts what it cannot do (a pty keeps 8 data bits)
// is not taken for a refusal. False with errno set on failure.
bool ComSetLine(int fd, unsigned iflag, unsigned oflag, unsigned cflag, unsigned lflag,
                const unsigned char* cc, unsigned ccCount, unsigned speedCode, unsigned speed);
// Reads the output speed in bit/s, whatever way it was set. False with errno set on failure.
bool ComGetSpeed(int fd, unsigned* speed);
