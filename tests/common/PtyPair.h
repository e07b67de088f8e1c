#pragma once
#include <string>

// A pseudo-terminal pair for tests: the test holds the master, the code under test opens the
// slave's path. Closing the master is an unplugged cable.
class PtyPair {
public:
    PtyPair();   // raw mode on the slave; the slave fd itself is closed after opening
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Writes all bytes to the master.
    void Write(const std::string& bytes);
    // Reads what arrives on the master until `count` bytes came or `timeoutMs` passed.
    std::string Read(size_t count, int timeoutMs = 1000);
    // Reads whatever arrives within `quietMs` of silence (at most `timeoutMs` overall).
    std::string Drain(int quietMs = 50, int timeoutMs = 1000);
    void CloseMaster();

private:
    int master_ = -1;
    int keepSlave_ = -1;   // keeps the slave side alive between opens so no hang-up is seen
    std::string slavePath_;
};
