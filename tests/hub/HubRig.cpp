#include "HubRig.h"

#include "SimulatorProcess.h"
#include "WaitFor.h"

#include <mosquitto.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace hubrig {

int64_t NowUs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

std::string BuildDir()
{
    const char* dir = std::getenv("KONF_BUILD_DIR");
    return dir ? dir : ".";
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    return WaitFor(done, timeoutMs, 10);
}

std::string OwnGroup()
{
    const group* g = ::getgrgid(::getgid());
    return g ? g->gr_name : "root";
}

Child::Child(const std::vector<std::string>& argv, const std::string& logFile)
{
    std::vector<std::string> store = argv;
    std::vector<char*> args;
    for (std::string& a : store)
        args.push_back(a.data());
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
}

Child::~Child()
{
    Stop();
}

bool Child::Running()
{
    return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0;
}

void Child::Stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    if (!WaitUntil([this] { return ::waitpid(pid_, nullptr, WNOHANG) == pid_; }, 3000)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

int FreePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no free port");
    ::close(s);
    return ntohs(a.sin_port);
}

int ConnectLoopback(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

namespace {

bool Accepting(int port)
{
    const int s = ConnectLoopback(port);
    if (s >= 0)
        ::close(s);
    return s >= 0;
}

}  // namespace

Broker::Broker(const std::string& dir) : dir_(dir), port_(FreePort())
{
    std::ofstream(dir_ + "/mosquitto.conf") << "listener " << port_ << " 127.0.0.1\n"
                                            << "allow_anonymous true\npersistence false\n";
}

void Broker::Start()
{
    process_ = std::make_unique<Child>(
        std::vector<std::string>{"/usr/sbin/mosquitto", "-c", dir_ + "/mosquitto.conf"},
        dir_ + "/mosquitto.log");
    if (!WaitUntil([this] { return Accepting(port_); }, 5000))
        throw std::runtime_error("mosquitto did not start");
}

void Broker::Stop()
{
    process_.reset();
}

MqttProbe::MqttProbe(int port)
{
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(mosq_, &MqttProbe::OnMessage);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
        if (rc == 0)
            mosquitto_subscribe(m, nullptr, "#", 1);
    });
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    if (mosquitto_connect(mosq_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        throw std::runtime_error("probe could not connect");
    mosquitto_loop_start(mosq_);
}

MqttProbe::~MqttProbe()
{
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
}

void MqttProbe::OnMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    auto* probe = static_cast<MqttProbe*>(self);
    const std::string payload(static_cast<const char*>(m->payload), m->payloadlen);
    std::lock_guard<std::mutex> lock(probe->mutex_);
    probe->last_[m->topic] = payload;
    probe->log_.push_back({NowUs(), m->topic, payload});
}

void MqttProbe::Publish(const std::string& topic, const std::string& payload, bool retain)
{
    mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, retain);
}

std::string MqttProbe::Last(const std::string& topic)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = last_.find(topic);
    return it == last_.end() ? std::string() : it->second;
}

bool MqttProbe::WaitFor(const std::string& topic, const std::string& payload, int timeoutMs)
{
    return WaitUntil([&] { return Last(topic) == payload; }, timeoutMs);
}

std::vector<Message> MqttProbe::Since(int64_t us)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Message> out;
    for (const Message& m : log_)
        if (m.us >= us)
            out.push_back(m);
    return out;
}

Rig::Rig(const std::string& dir, const std::vector<std::string>& hubExtra,
         const std::vector<std::string>& hubProgram)
    : dir_(dir), broker_(dir)
{
    broker_.Start();
    sim_ = std::make_unique<SimulatorProcess>(dir_);
    if (!sim_->Start())
        throw std::runtime_error("selvora-sim: " + sim_->Error());
    std::vector<std::string> args = hubProgram;
    if (args.empty())
        args.push_back(BuildDir() + "/selvora-hub");
    args.insert(args.end(), {"--device", sim_->LinkPath(),
                             "--console-link", Link(),
                             "--console-group", OwnGroup(),
                             "--mqtt", "127.0.0.1:" + std::to_string(broker_.Port()),
                             "--id", "test",
                             "--discovery-prefix", "ha"});
    args.insert(args.end(), hubExtra.begin(), hubExtra.end());
    hub_ = std::make_unique<Child>(args, HubLog());
}

std::string Rig::SimLog() const
{
    return sim_->LogPath();
}

Rig::~Rig()
{
    hub_.reset();
    sim_.reset();
    broker_.Stop();
}

}  // namespace hubrig
