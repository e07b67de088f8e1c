#pragma once
// The controller simulator's --log: "<us> RX|TX <hex> <char>" for each byte received or sent,
// "<us> EV <text>" for events; the times are CLOCK_MONOTONIC microseconds.
#include <cstdint>
#include <string>
#include <vector>

struct SimLogRecord {
    int64_t us = 0;
    char kind = 0;   // 'R' received, 'T' sent, 'E' event
    unsigned char byte = 0;
    std::string text;   // of an event
};

std::vector<SimLogRecord> ReadSimLog(const std::string& path);

// The bytes of one direction ('R' or 'T') from `fromUs` on, with their times.
std::vector<SimLogRecord> Bytes(const std::vector<SimLogRecord>& log, char kind, int64_t fromUs = 0);
std::string ByteString(const std::vector<SimLogRecord>& bytes);
bool HasEvent(const std::vector<SimLogRecord>& log, const std::string& text, int64_t fromUs = 0);
