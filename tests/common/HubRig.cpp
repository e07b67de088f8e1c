#include "HubRig.h"

#include "SimulatorProcess.h"
#include "WaitFor.h"

#include <mosquitto.h>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <grp.h>
#include <iterator>
#include <netinet/in.h>
#include <sstream>
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
    if (pid_ <= 0)
        return false;
    if (::waitpid(pid_, nullptr, WNOHANG) == 0)
        return true;
    pid_ = -1;   // reaped: Stop() must not signal a number the system may hand out again
    return false;
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

std::streamoff FileSize(const std::string& path)
{
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    return f ? static_cast<std::streamoff>(f.tellg()) : 0;
}

// What the file gained after `offset`.
std::string ReadFrom(const std::string& path, std::streamoff offset)
{
    std::ifstream f(path, std::ios::binary);
    f.seekg(offset);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Starts `argv` with its output appended to `log` and waits until the output says `ready` or the
// program ends. A server that says so listens on its own socket; a mere connection could reach
// another program that took the port first.
PortBind LaunchServer(std::unique_ptr<Child>& child, const std::vector<std::string>& argv,
                      const std::string& log, const std::string& ready, const std::string& taken,
                      std::string* why)
{
    const std::streamoff from = FileSize(log);
    child = std::make_unique<Child>(argv, log);
    std::string said;
    WaitUntil([&] {
        said = ReadFrom(log, from);
        return said.find(ready) != std::string::npos || !child->Running();
    }, 8000);
    if (said.find(ready) != std::string::npos && child->Running())
        return PortBind::Listening;
    child.reset();
    said = ReadFrom(log, from);
    *why = argv.front() + (said.empty() ? std::string(" said nothing") : " said:\n" + said);
    return said.find(taken) != std::string::npos ? PortBind::Taken : PortBind::Failed;
}

}  // namespace

Broker::Broker(const std::string& dir) : dir_(dir)
{
}

void Broker::Start()
{
    std::string error;
    if (port_ != 0) {
        if (Launch(port_, &error) != PortBind::Listening)
            throw std::runtime_error("mosquitto did not start again on port " +
                                     std::to_string(port_) + ": " + error);
        return;
    }
    port_ = StartOnFreePort([this](int port, std::string* why) { return Launch(port, why); }, &error);
    if (port_ == 0)
        throw std::runtime_error("mosquitto did not start " + error);
}

PortBind Broker::Launch(int port, std::string* why)
{
    std::ofstream(dir_ + "/mosquitto.conf") << "listener " << port << " 127.0.0.1\n"
                                            << "allow_anonymous true\npersistence false\n";
    // It says "running" once all its listeners are bound.
    return LaunchServer(process_, {"/usr/sbin/mosquitto", "-c", dir_ + "/mosquitto.conf"},
                          dir_ + "/mosquitto.log", " running", "Address already in use", why);
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

Rig::Rig(const std::string& dir, const std::vector<std::string>& hubExtra, WebPage web,
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
    if (web == WebPage::Off) {
        hub_ = std::make_unique<Child>(args, HubLog());
        return;
    }
    std::string error;
    webPort_ = StartOnFreePort(
        [&](int port, std::string* why) {
            std::vector<std::string> withWeb = args;
            withWeb.insert(withWeb.end(), {"--http", "127.0.0.1:" + std::to_string(port)});
            // Its line for a bound listener; a failed bind names the address first.
            return LaunchServer(hub_, withWeb, HubLog(), "web page on http", "in use", why);
        },
        &error);
    if (webPort_ == 0)
        throw std::runtime_error("selvora-hub's web page did not start " + error);
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

double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream in(text.substr(text.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14)
            utime = std::stoll(field);
        if (i == 15)
            stime = std::stoll(field);
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

long RssKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

double Percentile(std::vector<double> figures, double p)
{
    if (figures.empty())
        return -1;
    std::sort(figures.begin(), figures.end());
    return figures[std::min(figures.size() - 1, static_cast<std::size_t>(p * (figures.size() - 1) + 0.5))];
}

}  // namespace hubrig
