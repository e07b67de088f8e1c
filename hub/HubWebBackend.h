#pragma once
#include <QObject>

#include <optional>
#include <string>

#include "ChannelNames.h"
#include "WebBackend.h"

class TControllerSession;
class THubState;

// The web page's view of the hub: the shared state, its commands and the routing table read
// through the hub's own session.
class THubWebBackend : public QObject, public web::IWebBackend {
    Q_OBJECT
public:
    THubWebBackend(THubState& state, TControllerSession& session, hub::ChannelNames names,
                   std::string device, QObject* parent = nullptr);

    void SetReachability(web::Reachability reachability);

    web::Snapshot State() const override;
    bool SetOutput(int output, bool on) override;
    bool SetMode(int mode) override;
    bool ReadRouting() override;
    std::optional<web::RoutingTable> Routing() const override;

signals:
    void Changed();
    // A "C" reply came (whole or not).
    void RoutingRead();

private:
    THubState& state_;
    TControllerSession& session_;
    hub::ChannelNames names_;
    std::string device_;
    web::Reachability reachability_ = web::Reachability::LineLost;
    std::optional<web::RoutingTable> routing_;
};
