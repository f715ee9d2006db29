#include "archive/password_requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/errors.h"

namespace vx {
namespace {

enum class Outcome { kAccepted, kInvalidPassword, kUserAbort };

struct Case {
  const char* what;
  bool ask_when_empty;
  bool refusal_aborts;
  std::string initial;
  std::vector<std::string> answers;  // one per request; "" past the end means refused
  bool handler;
  Outcome outcome;
  int32_t asks;
  int32_t attempts;
};

TEST(AcceptPassword, AsksCountsAndStopsAsEachDecoderExpects) {
  const Case cases[] = {
      {"right at once", true, true, "good", {}, true, Outcome::kAccepted, 0, 1},
      {"asked first when empty", true, true, "", {"good"}, true, Outcome::kAccepted, 1, 1},
      {"nothing given when empty", true, true, "", {""}, true, Outcome::kInvalidPassword, 1, 0},
      {"no handler when empty", true, true, "", {}, false, Outcome::kInvalidPassword, 0, 0},
      {"empty answer aborts", true, true, "bad", {""}, true, Outcome::kUserAbort, 1, 1},
      {"no handler aborts", true, true, "bad", {}, false, Outcome::kUserAbort, 0, 1},
      // The initial request counts: two more leave three attempts in all.
      {"retries spent", true, true, "", {"x", "y", "z", "good"}, true,
       Outcome::kInvalidPassword, 3, 3},
      {"last answer still tried", true, true, "bad", {"x", "y", "good"}, true,
       Outcome::kAccepted, 3, 4},
      // Without a handler the legacy decoders try the same password again.
      {"legacy without handler", false, false, "bad", {}, false, Outcome::kInvalidPassword, 0, 4},
      {"legacy empty answer tried", false, false, "bad", {"", "good"}, true, Outcome::kAccepted,
       2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TAbPasswordRequests requests;
    requests.retries = 3;
    requests.ask_when_empty = c.ask_when_empty;
    requests.refusal_aborts = c.refusal_aborts;
    int32_t asks = 0;
    if (c.handler) {
      requests.ask = [&](std::string& password) {
        const std::string answer = asks < static_cast<int32_t>(c.answers.size()) ? c.answers[asks] : "";
        ++asks;
        // The archive's request treats an empty answer as a refusal; the
        // legacy one passes it on as the new password.
        if (answer.empty() && c.refusal_aborts) return false;
        password = answer;
        return true;
      };
    }
    int32_t attempts = 0;
    std::string password = c.initial;
    Outcome outcome = Outcome::kAccepted;
    try {
      AcceptPassword(password, requests, [&](const std::string& candidate) {
        ++attempts;
        return candidate == "good";
      });
      EXPECT_EQ(password, "good");
    } catch (const EAbZipInvalidPassword&) {
      outcome = Outcome::kInvalidPassword;
    } catch (const EAbUserAbort&) {
      outcome = Outcome::kUserAbort;
    }
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(asks, c.asks);
    EXPECT_EQ(attempts, c.attempts);
  }
}

}  // namespace
}  // namespace vx
