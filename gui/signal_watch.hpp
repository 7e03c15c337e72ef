// SIGINT, SIGTERM and SIGHUP turned into calls on the window thread, so that a signal during a
// run ends it as Stop does (the worker unwinds and removes its scratch file) instead of killing
// the process in the middle of it.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace ostrel::gui {

class SignalWatch {
 public:
  /// Catches the three signals until destroyed; `caught(signal)` runs from the window thread's
  /// event loop, once per signal received. One SignalWatch at a time (asserted).
  explicit SignalWatch(std::function<void(int)> caught);
  /// Restores the handlers there were before.
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  std::function<void(int)> caught_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace ostrel::gui
