#pragma once
#include <string>

// The command line of the web page: where it listens, the password and TLS files.
namespace web {

struct WebOptions {
    std::string address = "127.0.0.1";
    int port = 0;               // 0: no web page
    std::string passwordFile;   // a login when set
    std::string certFile;       // TLS when both are set
    std::string keyFile;

    bool Enabled() const { return port != 0; }
    bool Tls() const { return !certFile.empty(); }
};

// "[ADDR:]PORT", ADDR an IPv4 address, "[IPv6]" or "localhost".
bool ParseHttpAddress(const std::string& text, WebOptions& options, std::string& error);

// A page without a login is for this machine only; TLS needs both files.
bool CheckWebOptions(const WebOptions& options, std::string& error);

bool IsLoopbackAddress(const std::string& address);

}  // namespace web
