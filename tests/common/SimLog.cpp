#include "SimLog.h"

#include <fstream>
#include <stdexcept>

std::vector<SimLogRecord> ReadSimLog(const std::string& path)
{
    std::vector<SimLogRecord> out;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        if (space == 0 || space == std::string::npos || line.size() < space + 4 || line[space + 3] != ' ')
            continue;
        SimLogRecord r;
        try {
            size_t used = 0;
            r.us = std::stoll(line.substr(0, space), &used);
            if (used != space)
                continue;
            const std::string kind = line.substr(space + 1, 2);
            const std::string rest = line.substr(space + 4);
            if (kind == "RX" || kind == "TX") {
                if (rest.size() < 2)
                    continue;
                r.kind = kind[0];
                r.byte = static_cast<unsigned char>(std::stoi(rest.substr(0, 2), &used, 16));
                if (used != 2)
                    continue;
            } else if (kind == "EV") {
                r.kind = 'E';
                r.text = rest;
            } else {
                continue;
            }
        } catch (const std::logic_error&) {
            continue;   // a line cut short while the simulator was writing it
        }
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<SimLogRecord> Bytes(const std::vector<SimLogRecord>& log, char kind, int64_t fromUs)
{
    std::vector<SimLogRecord> out;
    for (const SimLogRecord& r : log)
        if (r.kind == kind && r.us >= fromUs)
            out.push_back(r);
    return out;
}

std::string ByteString(const std::vector<SimLogRecord>& bytes)
{
    std::string s;
    for (const SimLogRecord& r : bytes)
        s.push_back(static_cast<char>(r.byte));
    return s;
}

bool HasEvent(const std::vector<SimLogRecord>& log, const std::string& text, int64_t fromUs)
{
    for (const SimLogRecord& r : log)
        if (r.kind == 'E' && r.us >= fromUs && r.text.find(text) != std::string::npos)
            return true;
    return false;
}
