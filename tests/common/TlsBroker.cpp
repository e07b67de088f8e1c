#include "TlsBroker.h"

#include "HubRig.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace hubrig {

namespace {

void Run(const std::string& command)
{
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

// A key and a certificate signed by the test's authority, for `altName`.
void MakeServerCertificate(const std::string& dir, const std::string& name, const std::string& altName)
{
    const std::string base = dir + "/" + name;
    std::ofstream(base + ".ext") << "subjectAltName=" << altName << "\n";
    Run("openssl req -newkey rsa:2048 -nodes -keyout " + base + ".key -out " + base +
        ".csr -subj /CN=" + name);
    Run("openssl x509 -req -in " + base + ".csr -CA " + dir + "/ca.pem -CAkey " + dir +
        "/ca.key -CAcreateserial -days 2 -out " + base + ".pem -extfile " + base + ".ext");
}

}  // namespace

TlsBroker::TlsBroker(const std::string& dir) : dir_(dir), tlsPort_(FreeLoopbackPort()), plainPort_(FreeLoopbackPort())
{
    while (plainPort_ == tlsPort_)
        plainPort_ = FreeLoopbackPort();
    Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=SelvoraTestCA -keyout " +
        dir_ + "/ca.key -out " + dir_ + "/ca.pem");
    MakeServerCertificate(dir_, "right", "IP:127.0.0.1");
    MakeServerCertificate(dir_, "wrong", "DNS:elsewhere.invalid");
}

TlsBroker::~TlsBroker()
{
    Stop();
}

void TlsBroker::Start(bool rightCertificate)
{
    const std::string name = rightCertificate ? "right" : "wrong";
    const passwd* me = ::getpwuid(::getuid());
    // The broker drops root for its own user, who could not read this folder.
    std::ofstream(dir_ + "/tls.conf") << "user " << (me ? me->pw_name : "root") << "\n"
                                      << "persistence true\npersistence_location " << dir_ << "/\n"
                                      << "allow_anonymous true\nper_listener_settings false\n"
                                      << "listener " << plainPort_ << " 127.0.0.1\n"
                                      << "listener " << tlsPort_ << " 127.0.0.1\n"
                                      << "cafile " << CaFile() << "\n"
                                      << "certfile " << dir_ << "/" << name << ".pem\n"
                                      << "keyfile " << dir_ << "/" << name << ".key\n";
    process_ = std::make_unique<Child>(
        std::vector<std::string>{"/usr/sbin/mosquitto", "-c", dir_ + "/tls.conf"}, Log());
    const auto accepting = [](int port) {
        const int s = ConnectLoopback(port);
        if (s >= 0)
            ::close(s);
        return s >= 0;
    };
    // The TLS port is opened with the plain one; a probe there would count as a failed handshake.
    if (!WaitUntil([&] { return accepting(plainPort_); }, 5000))
        throw std::runtime_error("mosquitto did not start");
}

void TlsBroker::Stop()
{
    process_.reset();
}

int TlsBroker::TlsConnectionsSeen() const
{
    // A handshake that fails at once is logged without the port; only the TLS port has one.
    std::ifstream log(Log());
    const std::string accepted = "New connection from 127.0.0.1";
    const std::string port = "on port " + std::to_string(tlsPort_) + ".";
    const std::string failed = "Client connection from 127.0.0.1 failed";
    int count = 0;
    for (std::string line; std::getline(log, line);)
        if ((line.find(accepted) != std::string::npos && line.find(port) != std::string::npos) ||
            line.find(failed) != std::string::npos)
            ++count;
    return count;
}

}  // namespace hubrig
