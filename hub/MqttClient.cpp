#include "MqttClient.h"

#include <QByteArray>
#include <QDebug>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <mosquitto.h>

namespace {

constexpr int kQos = 1;
constexpr int kFirstRetryMs = 1000;
constexpr int kLongestRetryMs = 30000;
// How long one pass of the library's loop may wait for the socket; also how often a stop is
// noticed while a connection hangs.
constexpr int kLoopWaitMs = 500;
// A clean stop gives the queued messages this long to leave.
constexpr auto kStopGrace = std::chrono::seconds(2);
// The library's own error lines kept for the reason of one failure.
constexpr std::size_t kMostLibraryErrorBytes = 400;

struct LibraryUse {
    LibraryUse() { mosquitto_lib_init(); }
};

void Check(int rc, const char* what)
{
    if (rc != MOSQ_ERR_SUCCESS)
        throw std::runtime_error(std::string(what) + ": " + mosquitto_strerror(rc));
}

// The library says only "invalid arguments" for a CA file it cannot open.
void CheckReadable(const std::string& path, const char* what)
{
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
    char byte = 0;
    const bool readable = std::fread(&byte, 1, 1, file) == 1;
    const int error = errno;
    std::fclose(file);
    if (!readable)
        throw std::runtime_error(std::string(what) + " " + path + ": " +
                                 (error ? std::strerror(error) : "empty"));
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

QString Address(const std::string& host, int port)
{
    const QString name = host.find(':') == std::string::npos ? Text(host) : "[" + Text(host) + "]";
    return QStringLiteral("%1:%2").arg(name).arg(port);
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
    blockSignals(true);   // the owner is going away
    Stop();
    if (mosq_)
        mosquitto_destroy(mosq_);
}

void TMqttClient::Start()
{
    if (!settings_.caFile.empty())
        CheckReadable(settings_.caFile, "MQTT CA file");
    mosq_ = mosquitto_new(settings_.clientId.c_str(), true, this);
    if (!mosq_)
        throw std::runtime_error("MQTT client could not be created");
    mosquitto_threaded_set(mosq_, true);
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq_, &TMqttClient::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &TMqttClient::OnDisconnect);
    mosquitto_message_callback_set(mosq_, &TMqttClient::OnMessage);
    mosquitto_log_callback_set(mosq_, &TMqttClient::OnLog);
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
    network_ = std::thread([this] { Run(); });
}

void TMqttClient::Stop()
{
    if (!network_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(pauseMutex_);
        stopping_ = true;
    }
    pauseWake_.notify_all();
    mosquitto_disconnect(mosq_);   // after what is queued; wakes the loop
    network_.join();
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

// --- the network thread ---

void TMqttClient::Run()
{
    int pauseMs = kFirstRetryMs;
    while (!stopping_) {
        const std::string failure = RunConnection();
        if (stopping_)
            break;
        if (accepted_)
            pauseMs = kFirstRetryMs;
        ReportFailure(failure);
        if (!Pause(pauseMs))
            break;
        pauseMs = std::min(2 * pauseMs, kLongestRetryMs);
    }
}

std::string TMqttClient::RunConnection()
{
    accepted_ = false;
    refusal_.clear();
    {
        std::lock_guard<std::mutex> lock(errorsMutex_);
        libraryErrors_.clear();
    }
    errno = 0;
    int rc = mosquitto_connect_async(mosq_, settings_.host.c_str(), settings_.port,
                                     settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        return Failure(rc, errno);
    std::chrono::steady_clock::time_point stopDeadline{};
    for (;;) {
        errno = 0;
        rc = mosquitto_loop(mosq_, kLoopWaitMs, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            return stopping_ ? std::string() : Failure(rc, errno);
        if (stopping_) {
            const auto now = std::chrono::steady_clock::now();
            if (stopDeadline == std::chrono::steady_clock::time_point{})
                stopDeadline = now + kStopGrace;
            else if (now >= stopDeadline)
                return {};
        }
    }
}

std::string TMqttClient::Failure(int rc, int savedErrno)
{
    std::string reason;
    if (!refusal_.empty())
        reason = "refused: " + refusal_;
    else if (rc == MOSQ_ERR_ERRNO && savedErrno != 0)
        reason = std::strerror(savedErrno);
    else
        reason = mosquitto_strerror(rc);
    while (!reason.empty() && reason.back() == '.')
        reason.pop_back();
    std::lock_guard<std::mutex> lock(errorsMutex_);
    if (!libraryErrors_.empty())
        reason += " (" + libraryErrors_ + ")";
    return reason;
}

void TMqttClient::ReportFailure(const std::string& reason)
{
    const bool lost = accepted_;
    if (!reported_.insert(reason).second)
        return;
    const QString where = Address(settings_.host, settings_.port);
    if (lost)
        qInfo().noquote() << QStringLiteral("MQTT connection to %1 lost: %2; reconnecting")
                                 .arg(where, Text(reason));
    else
        qInfo().noquote() << QStringLiteral("MQTT broker %1 not reached: %2; trying again, at "
                                            "most every %3 s")
                                 .arg(where, Text(reason))
                                 .arg(kLongestRetryMs / 1000);
}

bool TMqttClient::Pause(int ms)
{
    std::unique_lock<std::mutex> lock(pauseMutex_);
    return !pauseWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

// The library calls these on the network thread; the signals go out on the owner's thread.
void TMqttClient::OnConnect(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<TMqttClient*>(self);
    if (rc != 0) {
        client->refusal_ = mosquitto_connack_string(rc);
        return;
    }
    client->accepted_ = true;
    client->reported_.clear();
    QMetaObject::invokeMethod(
        client,
        [client] {
            qInfo().noquote() << QStringLiteral("MQTT connected to %1 as %2")
                                     .arg(Address(client->settings_.host, client->settings_.port),
                                          Text(client->settings_.clientId));
            client->SetConnected(true);
        },
        Qt::QueuedConnection);
}

void TMqttClient::OnDisconnect(mosquitto*, void* self, int)
{
    auto* client = static_cast<TMqttClient*>(self);
    const int savedErrno = errno;   // the reason of a failure, read after this returns
    QMetaObject::invokeMethod(client, [client] { client->SetConnected(false); },
                              Qt::QueuedConnection);
    errno = savedErrno;
}

void TMqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* client = static_cast<TMqttClient*>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    QMetaObject::invokeMethod(
        client,
        [client, topic, payload, retained] { emit client->MessageReceived(topic, payload, retained); },
        Qt::QueuedConnection);
}

void TMqttClient::OnLog(mosquitto*, void* self, int level, const char* text)
{
    if (level != MOSQ_LOG_ERR || !text)
        return;
    auto* client = static_cast<TMqttClient*>(self);
    std::string line = text;
    if (line.rfind("Error: ", 0) == 0)
        line.erase(0, 7);
    while (!line.empty() && (line.back() == '.' || line.back() == '\n'))
        line.pop_back();
    std::lock_guard<std::mutex> lock(client->errorsMutex_);
    std::string& kept = client->libraryErrors_;
    if (!kept.empty())
        kept += "; ";
    if (kept.size() < kMostLibraryErrorBytes)
        kept += line.substr(0, kMostLibraryErrorBytes - kept.size());
    else
        kept.resize(kMostLibraryErrorBytes);
}
