#pragma once
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

struct mosquitto;

// A connection to an MQTT broker through libmosquitto, kept by a network thread of its own: it
// connects, runs the library's loop and, after any failure (a refused connection, a lost one, a
// TLS or lookup error alike), waits with growing pauses and tries again. Each distinct failure
// is logged once, with the library's reason. Everything it reports is handed over to the
// owner's thread, where the signals are emitted.
class TMqttClient : public QObject {
    Q_OBJECT
public:
    struct Settings {
        std::string host;
        int port = 1883;
        std::string clientId;
        std::string user;
        std::string password;
        std::string caFile;        // TLS when set
        std::string willTopic;     // retained last will
        std::string willPayload;
        int keepAliveSeconds = 30;
    };

    explicit TMqttClient(Settings settings, QObject* parent = nullptr);
    ~TMqttClient() override;

    // Starts connecting in the background; throws std::runtime_error on a setting that cannot
    // work (an unreadable CA file, one the library refuses). A broker that is down is no error:
    // the connection comes when it does.
    void Start();
    // Sends what is queued, disconnects and ends the network thread (for a clean exit).
    void Stop();
    bool Connected() const { return connected_; }

    // At least once; dropped while disconnected (the owner republishes on connect).
    void Publish(const std::string& topic, const std::string& payload, bool retain);
    void Subscribe(const std::string& filter);

signals:
    void ConnectedChanged(bool connected);
    // `retained`: the broker's stored copy, sent because of a subscription, not a live message.
    void MessageReceived(const QString& topic, const QByteArray& payload, bool retained);

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const struct mosquitto_message* message);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    // The network thread.
    void Run();
    // One connection, from the attempt until it ends; the reason it ended ("" when stopped).
    std::string RunConnection();
    std::string Failure(int rc, int savedErrno);
    void ReportFailure(const std::string& reason);
    // False when stopped meanwhile.
    bool Pause(int ms);
    void SetConnected(bool connected);

    Settings settings_;
    mosquitto* mosq_ = nullptr;
    bool connected_ = false;         // owner's thread

    std::thread network_;
    std::atomic<bool> stopping_{false};
    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
    // Network thread only.
    std::string refusal_;            // the broker's answer to the last CONNECT
    // What the library logged about the last attempt; the library may log from a publishing
    // thread too.
    std::mutex errorsMutex_;
    std::string libraryErrors_;
    std::set<std::string> reported_; // failures logged since the last good connection
    bool accepted_ = false;          // the broker accepted the current connection
};
