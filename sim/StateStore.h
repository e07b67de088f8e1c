#pragma once
#include "ControllerModel.h"

#include <string>

namespace sim {

// The --state file on disk. Saves replace the file atomically (temporary file, fsync, rename),
// so a crash or power cut leaves either the old or the new state, never a torn one.
class StateStore {
public:
    explicit StateStore(std::string path) : path_(std::move(path)) {}

    // Loads into `m`. A missing file is a fresh controller (true); a damaged one is reported
    // in `error` and left alone (false, `m` untouched).
    bool Load(ControllerModel& m, std::string& error) const;
    bool Save(const ControllerModel& m, std::string& error) const;

private:
    std::string path_;
};

}  // namespace sim
