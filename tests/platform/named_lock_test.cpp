#include "platform/named_lock.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace vx {
namespace {

// Whether the lock can be taken by another holder than the caller's: a
// mutex belongs to a thread, a locked file to its opening.
bool TakenElsewhere(const std::string& name) {
  bool taken = false;
  std::thread other([&] { taken = platform::NamedLock::TryTake(name) != nullptr; });
  other.join();
  return taken;
}

TEST(NamedLock, OneHolderAtATimeWhateverTheCaseAndReleasedWithItsObject) {
  const std::string name = "C:\\Program Files\\VESTRIX named lock test";
  std::unique_ptr<platform::NamedLock> held = platform::NamedLock::TryTake(name);
  ASSERT_NE(held, nullptr);
  EXPECT_FALSE(TakenElsewhere(name));
  EXPECT_FALSE(TakenElsewhere("c:\\program files\\vestrix NAMED LOCK TEST"));
  EXPECT_TRUE(TakenElsewhere(name + " 2"));
  held.reset();
  EXPECT_TRUE(TakenElsewhere(name));
}

}  // namespace
}  // namespace vx
