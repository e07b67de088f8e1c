#pragma once
#include <QObject>

#include <string>

struct mosquitto;

// A connection to an MQTT broker through libmosquitto. The library's own thread keeps the
// connection and reconnects with growing pauses; everything it reports is handed over to the
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

    // Starts connecting in the background; throws std::runtime_error on a setting the library
    // refuses. A broker that is down is no error: the connection comes when it does.
    void Start();
    // Publishes and waits for publishes to finish, then disconnects (for a clean exit).
    void Stop();
    bool Connected() const { return connected_; }

    // At least once; dropped while disconnected (the owner republishes on connect).
    void Publish(const std::string& topic, const std::string& payload, bool retain);
    void Subscribe(const std::string& filter);

signals:
    void ConnectedChanged(bool connected);
    void MessageReceived(const QString& topic, const QByteArray& payload);

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const struct mosquitto_message* message);
    void SetConnected(bool connected);
    void TryConnect();

    Settings settings_;
    mosquitto* mosq_ = nullptr;
    bool connected_ = false;
    bool looping_ = false;
    int retryMs_ = 0;
};
