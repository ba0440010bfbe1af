#pragma once

// pcscd, vpcd's ports and the bench relay's port exist once per machine, so the fixtures that start
// them (the pcscd fixture and the relay on the bench's fixed port) hold this lock while those run:
// a second test run or a simulated station on the same machine waits for it instead of colliding.

#include <memory>
#include <string>

#include "base/error.hpp"

namespace test_support {

// The lock's file. Not the lock that engineers take around a whole ctest run: a fixture taking that
// one inside such a run would wait for itself.
[[nodiscard]] std::string bench_lock_path();

// Held from `acquire` until the last handle of this process goes. Handles in one process share one
// hold, so a fixture that needs it while another fixture of the same test holds it goes on at once.
class BenchLock {
  public:
    // Waits as long as another process holds the lock, saying so on standard error once.
    [[nodiscard]] static base::Result<BenchLock> acquire();

    struct Held;

  private:
    std::shared_ptr<Held> held_;
};

}  // namespace test_support
