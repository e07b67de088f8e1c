#include "InstanceGuard.h"

namespace hub {

InstanceGuard::InstanceGuard(std::string id, std::string instance, std::string started)
    : id_(std::move(id)), instance_(std::move(instance)), started_(std::move(started))
{
}

HubRecord::State InstanceGuard::RecordState() const
{
    return role_ == Role::Serving ? HubRecord::State::Serving : HubRecord::State::Starting;
}

InstanceGuard::Step InstanceGuard::Connected()
{
    role_ = Role::Joining;
    servingRecordWasThere_ = false;
    checking_ = false;
    Step step;
    step.publishRecord = true;
    return step;
}

InstanceGuard::Step InstanceGuard::RecordSeen(const std::string& payload, bool retained)
{
    const auto record = ParseHubRecord(payload);
    if (!record)
        return {};
    if (record->instance == instance_) {
        // Its own record heard back: whatever the broker kept for the topic came before it.
        if (retained || role_ != Role::Joining)
            return {};
        if (!servingRecordWasThere_)
            return Serve({});
        checking_ = true;
        Step step;
        step.startCheck = true;
        return step;
    }
    if (retained) {
        // Maybe from a hub that is gone; it has to answer before this one stands by.
        if (role_ == Role::Joining && record->state == HubRecord::State::Serving)
            servingRecordWasThere_ = true;
        return {};
    }
    switch (record->state) {
    case HubRecord::State::Stopped:
        if (role_ == Role::StandingBy && record->instance == servingInstance_)
            return Serve("the other selvora-hub with --id " + id_ + " stopped; this one serves now");
        return {};
    case HubRecord::State::Starting:
        if (role_ != Role::Serving)
            return {};
        {
            Step step;
            step.publishRecord = true;
            if (record->instance != lastNamedNewcomer_) {
                lastNamedNewcomer_ = record->instance;
                step.log = "a second selvora-hub with --id " + id_ + " came to this broker (" +
                           Describe(*record) + "); it is told to stand by and obeys no commands "
                           "while this one runs. Give each hub its own --id.";
            }
            return step;
        }
    case HubRecord::State::Serving:
        if (role_ == Role::Serving && StartedBefore(*record)) {
            Step step;   // both came to serve at once: the later one gives way
            step.publishRecord = true;
            step.publishAll = true;
            return step;
        }
        return StandBy(*record);
    }
    return {};
}

InstanceGuard::Step InstanceGuard::AvailabilitySeen(const std::string& payload, bool retained)
{
    if (role_ != Role::StandingBy || retained || payload != "offline" || checking_)
        return {};
    // The serving hub's last will, or only its line: it answers if it is there.
    checking_ = true;
    Step step;
    step.publishRecord = true;
    step.startCheck = true;
    return step;
}

InstanceGuard::Step InstanceGuard::CheckTimedOut()
{
    if (!checking_)
        return {};
    checking_ = false;
    if (role_ == Role::StandingBy)
        return Serve("the other selvora-hub with --id " + id_ + " no longer answers; this one "
                     "serves now");
    if (role_ == Role::Joining)
        return Serve({});   // the record was left by a hub that is gone
    return {};
}

InstanceGuard::Step InstanceGuard::Serve(std::string log)
{
    role_ = Role::Serving;
    checking_ = false;
    servingInstance_.clear();
    Step step;
    step.publishRecord = true;
    step.log = std::move(log);
    return step;
}

InstanceGuard::Step InstanceGuard::StandBy(const HubRecord& other)
{
    role_ = Role::StandingBy;
    checking_ = false;
    servingInstance_ = other.instance;
    Step step;
    if (other.instance != lastNamedServing_) {
        lastNamedServing_ = other.instance;
        step.log = "another selvora-hub with --id " + id_ + " serves on this broker (" +
                   Describe(other) + "); this one publishes nothing and obeys no commands while "
                   "that one runs. Give each hub its own --id.";
    }
    return step;
}

bool InstanceGuard::StartedBefore(const HubRecord& other) const
{
    if (started_ != other.started)
        return started_ < other.started;
    return instance_ < other.instance;
}

std::string InstanceGuard::Describe(const HubRecord& other) const
{
    return "device \"" + other.device + "\", started " + other.started;
}

}  // namespace hub
