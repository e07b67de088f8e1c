#include "MqttClient.h"

#include <QByteArray>
#include <QDebug>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>

#include <mosquitto.h>
#include <stdexcept>

namespace {

constexpr int kQos = 1;
constexpr unsigned kFirstRetrySeconds = 1;
constexpr unsigned kLongestRetrySeconds = 30;

struct LibraryUse {
    LibraryUse() { mosquitto_lib_init(); }
};

void Check(int rc, const char* what)
{
    if (rc != MOSQ_ERR_SUCCESS)
        throw std::runtime_error(std::string(what) + ": " + mosquitto_strerror(rc));
}

}  // namespace

TMqttClient::TMqttClient(Settings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings))
{
    static LibraryUse library;   // once per process, before the first client
    (void)library;
}

TMqttClient::~TMqttClient()
{
    if (!mosq_)
        return;
    if (looping_) {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, true);
    }
    mosquitto_destroy(mosq_);
}

void TMqttClient::Start()
{
    mosq_ = mosquitto_new(settings_.clientId.c_str(), true, this);
    if (!mosq_)
        throw std::runtime_error("MQTT client could not be created");
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq_, &TMqttClient::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &TMqttClient::OnDisconnect);
    mosquitto_message_callback_set(mosq_, &TMqttClient::OnMessage);
    mosquitto_reconnect_delay_set(mosq_, kFirstRetrySeconds, kLongestRetrySeconds, true);
    if (!settings_.willTopic.empty())
        Check(mosquitto_will_set(mosq_, settings_.willTopic.c_str(),
                                 static_cast<int>(settings_.willPayload.size()),
                                 settings_.willPayload.data(), kQos, true),
              "last will");
    if (!settings_.user.empty())
        Check(mosquitto_username_pw_set(mosq_, settings_.user.c_str(),
                                        settings_.password.empty() ? nullptr
                                                                   : settings_.password.c_str()),
              "MQTT user");
    if (!settings_.caFile.empty())
        Check(mosquitto_tls_set(mosq_, settings_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr),
              "MQTT TLS");
    TryConnect();
}

// The library reconnects by itself once it has been connected; a broker that is not there at
// the start is tried again from here, with growing pauses.
void TMqttClient::TryConnect()
{
    const int rc = mosquitto_connect_async(mosq_, settings_.host.c_str(), settings_.port,
                                           settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (retryMs_ == 0)
            qInfo().noquote() << QStringLiteral("MQTT broker %1 not reached (%2); trying again")
                                     .arg(QString::fromStdString(settings_.host),
                                          QString::fromUtf8(mosquitto_strerror(rc)));
        retryMs_ = retryMs_ == 0 ? int(kFirstRetrySeconds * 1000)
                                 : std::min(2 * retryMs_, int(kLongestRetrySeconds * 1000));
        QTimer::singleShot(retryMs_, this, [this] { TryConnect(); });
        return;
    }
    retryMs_ = 0;
    if (!looping_) {
        const int started = mosquitto_loop_start(mosq_);
        if (started != MOSQ_ERR_SUCCESS)
            qWarning() << "MQTT network thread not started:" << mosquitto_strerror(started);
        looping_ = started == MOSQ_ERR_SUCCESS;
    }
}

void TMqttClient::Stop()
{
    if (!mosq_ || !looping_)
        return;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    looping_ = false;
    SetConnected(false);
}

void TMqttClient::Publish(const std::string& topic, const std::string& payload, bool retain)
{
    if (!mosq_ || !connected_)
        return;
    mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), kQos, retain);
}

void TMqttClient::Subscribe(const std::string& filter)
{
    if (mosq_)
        mosquitto_subscribe(mosq_, nullptr, filter.c_str(), kQos);
}

void TMqttClient::SetConnected(bool connected)
{
    if (connected == connected_)
        return;
    connected_ = connected;
    emit ConnectedChanged(connected);
}

// The library's thread calls these; the work is done on the owner's thread.
void TMqttClient::OnConnect(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<TMqttClient*>(self);
    QMetaObject::invokeMethod(
        client,
        [client, rc] {
            if (rc == 0) {
                qInfo() << "MQTT connected";
                client->SetConnected(true);
            } else {
                qInfo().noquote() << "MQTT connection refused:" << mosquitto_connack_string(rc);
            }
        },
        Qt::QueuedConnection);
}

void TMqttClient::OnDisconnect(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<TMqttClient*>(self);
    QMetaObject::invokeMethod(
        client,
        [client, rc] {
            if (rc != 0 && client->connected_)
                qInfo() << "MQTT connection lost; reconnecting";
            client->SetConnected(false);
        },
        Qt::QueuedConnection);
}

void TMqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* client = static_cast<TMqttClient*>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    QMetaObject::invokeMethod(
        client, [client, topic, payload] { emit client->MessageReceived(topic, payload); },
        Qt::QueuedConnection);
}
