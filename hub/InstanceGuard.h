#pragma once
#include <string>

#include "HubRecord.h"

// Decides whether this hub serves its id on the broker, when another hub may have been given the
// same id (the default one, say). Without it both would obey every command, so one house could
// switch the other's outputs, and both would write the same state topics.
//
// A hub that connects says "starting" on its record topic and serves once it has heard its own
// record back, unless a record of a serving hub was there: then it waits for that hub to answer.
// A serving hub answers every "starting" record with its own, and the newcomer stands by. A hub
// that stands by publishes nothing and obeys nothing; it looks again when the serving hub says
// it stopped or its availability turns "offline" (its last will too), and takes over when that
// hub no longer answers. Two hubs that both came to serve keep the one that started first.
namespace hub {

class InstanceGuard {
public:
    enum class Role { Joining, Serving, StandingBy };

    struct Step {
        bool publishRecord = false;   // send this hub's record (retained), in its current state
        bool publishAll = false;      // and every state and config again: another hub wrote there
        bool startCheck = false;      // call CheckTimedOut() after kCheckMs unless answered
        std::string log;              // one line for the log, or nothing
    };

    static constexpr int kCheckMs = 3000;

    InstanceGuard(std::string id, std::string instance, std::string started);

    Step Connected();
    Step RecordSeen(const std::string& payload, bool retained);
    Step AvailabilitySeen(const std::string& payload, bool retained);
    Step CheckTimedOut();

    Role CurrentRole() const { return role_; }
    bool Serving() const { return role_ == Role::Serving; }
    // The state this hub's record carries now.
    HubRecord::State RecordState() const;

private:
    Step Serve(std::string log);
    Step StandBy(const HubRecord& other);
    bool StartedBefore(const HubRecord& other) const;
    std::string Describe(const HubRecord& other) const;

    std::string id_;
    std::string instance_;
    std::string started_;
    Role role_ = Role::Joining;
    bool servingRecordWasThere_ = false;   // while joining
    bool checking_ = false;
    std::string servingInstance_;          // the hub this one stands by for
    // Each other hub is named in the log once; one of each kind is remembered, so that nothing
    // a broker's client writes can grow this.
    std::string lastNamedServing_;
    std::string lastNamedNewcomer_;
};

}  // namespace hub
