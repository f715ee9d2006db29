#include "platform/console.h"

#include <io.h>

#include <cstdio>

namespace vx::platform {

bool IsTerminal(StandardStream stream) {
  std::FILE* file = stream == StandardStream::kInput    ? stdin
                    : stream == StandardStream::kOutput ? stdout
                                                        : stderr;
  return _isatty(_fileno(file)) != 0;
}

}  // namespace vx::platform
