#pragma once
#include <QString>

#include <optional>

// The controller's operating modes under names a script can type. The console shows them by
// their Polish captions; both are accepted on the command line.
enum class TMode { Unknown, EqualInputs, RemoteFirst, RemoteOnly };

// "equal-inputs", "remote-first", "remote-only", "unknown".
QString ModeName(TMode mode);
// From the captions the message parser reports; Unknown for anything else.
TMode ModeOfCaption(const QString& caption);
// A name above or a caption, in any case; nullopt when it is neither.
std::optional<TMode> ModeFromName(const QString& text);
