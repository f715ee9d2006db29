#include "archive/password_requests.h"

#include "archive/errors.h"

namespace vx {

void AcceptPassword(std::string& password, const TAbPasswordRequests& requests,
                    const std::function<bool(const std::string& password)>& accepts) {
  const auto ask = [&requests](std::string& answer) {
    return requests.ask && requests.ask(answer);
  };
  int32_t asked = 0;
  if (requests.ask_when_empty && password.empty()) {
    ++asked;
    if (!ask(password) || password.empty()) throw EAbZipInvalidPassword();
  }
  // Every answer is tried before the retries count as spent.
  for (;;) {
    if (accepts(password)) return;
    if (asked >= requests.retries) throw EAbZipInvalidPassword();
    ++asked;
    std::string answer = password;
    if (ask(answer)) {
      password = answer;
    } else if (requests.refusal_aborts) {
      throw EAbUserAbort();
    }
  }
}

}  // namespace vx
