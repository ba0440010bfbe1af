#pragma once

#include <cstdint>

namespace app {

// The signals by which a terminal, a session or a service manager asks the program to end (on POSIX
// SIGTERM, SIGINT and SIGHUP), turned into bytes on a socket that the event loop can watch: the
// handler does nothing else, so the close itself runs on the main thread between two steps. While an
// instance lives it owns those signals; the handlers that were there before come back when it goes.
// One instance at a time.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The socket that becomes readable when a signal came, or -1 where there is nothing to watch.
    [[nodiscard]] std::intptr_t descriptor() const { return read_end_; }
    // True when a signal came since the last call; takes what it left on the socket.
    [[nodiscard]] bool take();

  private:
    std::intptr_t read_end_ = -1;
    std::intptr_t write_end_ = -1;
};

}  // namespace app
