#include "WebFront.h"

#include "HostCheck.h"
#include "PasswordFile.h"
#include "WebJson.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimer>

#include <stdexcept>

TWebFront::TWebFront(web::IWebBackend& backend, web::WebOptions options, QObject* parent)
    : QObject(parent), backend_(backend), options_(std::move(options))
{
    stateTimer_ = new QTimer(this);
    stateTimer_->setSingleShot(true);
    stateTimer_->setInterval(0);
    connect(stateTimer_, &QTimer::timeout, this, &TWebFront::PublishState);
}

TWebFront::~TWebFront()
{
    if (!server_)
        return;
    server_->Stop();
    // Handed-over requests still queued hold the server's connections: they go first.
    QCoreApplication::removePostedEvents(this);
    server_.reset();
}

void TWebFront::Start(web::ServerLimits limits)
{
    std::string error;
    if (!web::CheckWebOptions(options_, error))
        throw std::runtime_error(error);
    web::ServerConfig config;
    config.address = options_.address;
    config.port = static_cast<unsigned short>(options_.port);
    if (!options_.passwordFile.empty())
        config.password = ReadPasswordFile(options_.passwordFile);
    config.certFile = options_.certFile;
    config.keyFile = options_.keyFile;
    config.hostNames = web::OwnHostNames(options_.address);
    config.limits = limits;
    server_ = std::make_unique<web::TWebServer>(std::move(config), static_cast<web::IWebRequests&>(*this));
    server_->Start();
    PublishState();
    PublishRouting();
    qInfo().noquote() << "web page on" << (options_.Tls() ? "https" : "http")
                      << QString::fromStdString(options_.address) << "port" << server_->Port()
                      << (options_.passwordFile.empty() ? "(no login)" : "(login)");
}

unsigned short TWebFront::Port() const
{
    return server_ ? server_->Port() : 0;
}

void TWebFront::StateChanged()
{
    if (server_ && !stateTimer_->isActive())
        stateTimer_->start();
}

void TWebFront::PublishState()
{
    server_->PublishState(web::StateMessage(backend_.State()));
}

void TWebFront::RoutingChanged()
{
    routingReading_ = false;
    PublishRouting();
}

void TWebFront::PublishRouting()
{
    if (!server_)
        return;
    const std::optional<web::RoutingTable> table = backend_.Routing();
    server_->PublishRouting(web::RoutingMessage(table, routingReading_),
                            table ? web::BackupFile(*table, backend_.State()) : std::string());
}

void TWebFront::SetOutput(int output, bool on, Done done)
{
    QMetaObject::invokeMethod(this, [this, output, on, done = std::move(done)] {
        bool accepted = false;
        try {
            accepted = backend_.SetOutput(output, on);
        } catch (const std::exception& e) {
            qWarning() << "web: output" << output << ":" << e.what();
        }
        done(accepted);
    }, Qt::QueuedConnection);
}

void TWebFront::SetMode(int mode, Done done)
{
    QMetaObject::invokeMethod(this, [this, mode, done = std::move(done)] {
        bool accepted = false;
        try {
            accepted = backend_.SetMode(mode);
        } catch (const std::exception& e) {
            qWarning() << "web: mode:" << e.what();
        }
        done(accepted);
    }, Qt::QueuedConnection);
}

void TWebFront::WantRouting()
{
    QMetaObject::invokeMethod(this, [this] {
        try {
            ReadRoutingIfDue();
        } catch (const std::exception& e) {
            qWarning() << "web: routing table:" << e.what();
        }
    }, Qt::QueuedConnection);
}

// The table takes the line for a quarter of a second; the pages share one read a minute.
void TWebFront::ReadRoutingIfDue()
{
    const auto now = std::chrono::steady_clock::now();
    if (routingAsked_ && now - *routingAsked_ < kRoutingReadInterval)
        return;
    if (!backend_.ReadRouting())
        return;
    // GCC 12 at -O3 warns of a dangling pointer to `now` here; the optional keeps a copy of the
    // value and nothing points at `now` afterwards: its false alarm, silenced for this line.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif
    routingAsked_ = now;
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif
    routingReading_ = true;
    PublishRouting();
}
