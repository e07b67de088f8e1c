#pragma once
// A Mosquitto broker on 127.0.0.1 with two listeners: TLS on one free port, plain on another,
// with a private certificate authority made by openssl in `dir`. It can be restarted with a
// certificate for another name, as after a botched renewal. Retained messages survive restarts.
#include <memory>
#include <string>

namespace hubrig {

class Child;

class TlsBroker {
public:
    explicit TlsBroker(const std::string& dir);
    ~TlsBroker();
    // On the same ports every time; with a certificate for 127.0.0.1, or for another name.
    void Start(bool rightCertificate);
    void Stop();
    int TlsPort() const { return tlsPort_; }
    int PlainPort() const { return plainPort_; }
    std::string CaFile() const { return dir_ + "/ca.pem"; }
    std::string Log() const { return dir_ + "/mosquitto.log"; }
    // Connections the broker has seen on the TLS port, failed handshakes included.
    int TlsConnectionsSeen() const;

private:
    std::string dir_;
    int tlsPort_;
    int plainPort_;
    std::unique_ptr<Child> process_;
};

}  // namespace hubrig
