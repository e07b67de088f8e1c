#pragma once
#include <QString>
#include <QStringList>

#include <array>
#include <string>

#include "ControllerProtocol.h"

// What Home Assistant calls each input and output: the names a console keeps in its config.ini,
// or the console's own defaults where a name is missing or empty.
namespace hub {

struct ChannelNames {
    std::array<std::string, ControllerProtocol::kChannels> inputs;    // input 1 first, UTF-8
    std::array<std::string, ControllerProtocol::kChannels> outputs;
};

// From the lines of a loaded config.ini (an empty list gives every default).
ChannelNames NamesFromSettings(const QStringList& lines);

// Reads the file; a file that cannot be read gives the defaults and false.
bool LoadChannelNames(const QString& path, ChannelNames& names);

}  // namespace hub
