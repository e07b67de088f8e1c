#pragma once
// Makes the kernel answer ENOSYS to termios2 (TCGETS2, TCSETS2) on the calling thread and the
// threads it starts later, as qemu-user and some kernels do. False when the filter could not be
// installed.
bool RefuseTermios2OnThisThread();
