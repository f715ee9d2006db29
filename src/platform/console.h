// The standard streams of a console program: whether they are terminals.
#pragma once

#include <string>

namespace vx::platform {

enum class StandardStream { kInput, kOutput, kError };

// Whether the stream is a terminal (a person may be reading or typing there).
bool IsTerminal(StandardStream stream);

}  // namespace vx::platform
