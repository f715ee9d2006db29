// The one loop that tries a member's password and asks for another after
// each rejection, for every decoder that meets an encrypted member.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vx {

// How passwords are asked for while one member is opened.
struct TAbPasswordRequests {
  // How many new passwords may be asked for after rejections.
  int32_t retries = 3;
  // Ask once (counted) before the first attempt when no password is set;
  // raises EAbZipInvalidPassword when that yields none.
  bool ask_when_empty = false;
  // A refused request ends the member as a user abort (EAbUserAbort);
  // otherwise the same password is simply tried again.
  bool refusal_aborts = false;
  // Asks for a new password; answers false when the request is refused
  // (nobody to ask, or the answer means "stop"), leaving `password` alone.
  std::function<bool(std::string& password)> ask;
};

// Tries `password` with `accepts`, then each newly asked one, until one is
// accepted; `password` ends as the accepted one. Raises EAbZipInvalidPassword
// when the retries are spent, and whatever `accepts` or `ask` raise.
void AcceptPassword(std::string& password, const TAbPasswordRequests& requests,
                    const std::function<bool(const std::string& password)>& accepts);

}  // namespace vx
