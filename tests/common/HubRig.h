#pragma once
// Real parts for the hub's end-to-end test and benchmark: a Mosquitto broker on 127.0.0.1 and a
// free port, the simulator, selvora-hub between them, and an MQTT client that records what the
// hub publishes.
#include "LoopbackPort.h"

#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

class SimulatorProcess;
struct mosquitto;
struct mosquitto_message;

namespace hubrig {

int64_t NowUs();   // CLOCK_MONOTONIC, the clock of the simulator's log

// A child process with its output in a file.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& logFile);
    ~Child();
    void Stop();
    pid_t Pid() const { return pid_; }
    bool Running();

private:
    pid_t pid_ = -1;
};

class Broker {
public:
    explicit Broker(const std::string& dir);
    // The first start takes a free port (another one when someone took it meanwhile); a start
    // after Stop() reuses it, as a restarted broker does. Throws with mosquitto's log on failure.
    void Start();
    void Stop();
    int Port() const { return port_; }

private:
    PortBind Launch(int port, std::string* why);

    std::string dir_;
    int port_ = 0;
    std::unique_ptr<Child> process_;
};

struct Message {
    int64_t us;
    std::string topic;
    std::string payload;
};

class MqttProbe {
public:
    explicit MqttProbe(int port);
    ~MqttProbe();
    void Publish(const std::string& topic, const std::string& payload, bool retain = false);
    // The last payload on the topic ("" when none came).
    std::string Last(const std::string& topic);
    // Waits until the topic's last payload is `payload`.
    bool WaitFor(const std::string& topic, const std::string& payload, int timeoutMs);
    std::vector<Message> Since(int64_t us);

private:
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m);
    mosquitto* mosq_ = nullptr;
    std::mutex mutex_;
    std::map<std::string, std::string> last_;
    std::vector<Message> log_;
};

// The simulator plus the hub on it with one console link, all in `dir`; with WebPage::On also
// the hub's web page on a free loopback port. `hubProgram` is the command that starts the hub
// (an emulator before another architecture's build); by default the hub of this build.
class Rig {
public:
    enum class WebPage { Off, On };
    explicit Rig(const std::string& dir, const std::vector<std::string>& hubExtra = {},
                 WebPage web = WebPage::Off, const std::vector<std::string>& hubProgram = {});
    ~Rig();
    int WebPort() const { return webPort_; }
    SimulatorProcess& Sim() { return *sim_; }
    Broker& MqttBroker() { return broker_; }
    Child& Hub() { return *hub_; }
    std::string Link() const { return dir_ + "/ttyHUB"; }
    std::string SimLog() const;
    std::string HubLog() const { return dir_ + "/hub.log"; }

private:
    std::string dir_;
    Broker broker_;
    std::unique_ptr<SimulatorProcess> sim_;
    std::unique_ptr<Child> hub_;
    int webPort_ = 0;
};

std::string BuildDir();
// The shared wait (events served meanwhile), looking at `done` every 10 ms.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
// The group the test runs in, for --console-group.
std::string OwnGroup();
// A connected socket to 127.0.0.1:port, or -1.
int ConnectLoopback(int port);
// User + system time of a process so far, in seconds (/proc/PID/stat): its own CPU time,
// whatever else runs on the machine.
double CpuSeconds(pid_t pid);
// Its resident memory in kB, or -1.
long RssKb(pid_t pid);
// The p-quantile (0..1, nearest rank) of the figures, or -1 when there are none.
double Percentile(std::vector<double> figures, double p);

}  // namespace hubrig
