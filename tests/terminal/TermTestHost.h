#pragma once
// A model host for tests: records what the model tells the world.
#include <stdexcept>
#include <string>
#include <vector>

#include "ComTermModel.h"

struct UnhandledRecord {
    TEscapeCode code;
    std::string data;
};

class RecordingHost : public TTermModelHost {
public:
    bool portOpen = true;
    std::string written;
    std::string chars;
    std::vector<UnhandledRecord> unhandled;
    std::vector<int> scrolls;
    int cellUpdates = 0;
    int displayChanged = 0;
    int depth = 0;
    int maxDepth = 0;
    std::function<void(char)> onChar;
    std::function<void(std::string&)> onStr;
    std::function<void(TEscapeCodes*&)> onGetCodes;

    void CellsChanged(int, int, int, int) override { ++cellUpdates; }
    void ContentScrolled(int rows) override { scrolls.push_back(rows); }
    void DisplayChanged() override { ++displayChanged; }
    void BeginOutput() override { maxDepth = std::max(maxDepth, ++depth); }
    void EndOutput() override { --depth; }
    bool PortOpen() const override { return portOpen; }
    void WritePort(const std::string& bytes) override { written += bytes; }
    void FireChar(char ch) override
    {
        chars.push_back(ch);
        if (onChar)
            onChar(ch);
    }
    void FireStrReceived(std::string& text) override
    {
        if (onStr)
            onStr(text);
    }
    void FireUnhandledCode(TEscapeCode code, const std::string& data) override
    {
        unhandled.push_back({code, data});
    }
    void FireGetEscapeCodes(TEscapeCodes*& codes) override
    {
        if (onGetCodes)
            onGetCodes(codes);
    }
};
