#include "base/signal_cleanup.hpp"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>

namespace ostrel {

namespace {

// One registered path: a slot is claimed (free to writing), its path written, then published;
// the handler reads published paths only, so it never sees one half written.
enum : int { free_slot, writing, published };
struct Slot {
  std::atomic<int> state{free_slot};
  char path[PATH_MAX];
};

Slot slots[signal_cleanup_slots];
std::atomic<bool> installed{false};
constexpr int cleanup_signals[] = {SIGINT, SIGTERM, SIGHUP};

// Async-signal-safe: unlink, sigaction and raise only.
extern "C" void on_signal(int sig) {
  for (Slot& s : slots)
    if (s.state.load(std::memory_order_acquire) == published) unlink(s.path);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  raise(sig);
}

std::string absolute(const std::string& path) {
  std::error_code ec;
  const auto p = std::filesystem::absolute(path, ec);
  return ec ? path : p.string();
}

}  // namespace

void install_signal_cleanup() {
  if (installed.exchange(true)) return;
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : cleanup_signals)
    sigaddset(&sa.sa_mask, sig);
  for (int sig : cleanup_signals) {
    // A signal that the caller of the program ignores (nohup) stays ignored, and one that the
    // program handles itself (the windowed program stops its run) stays its own.
    struct sigaction old {};
    sigaction(sig, nullptr, &old);
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) sigaction(sig, &sa, nullptr);
  }
}

bool remove_on_signal(const std::string& path) {
  const std::string abs = absolute(path);
  if (abs.size() >= PATH_MAX) return false;
  for (Slot& s : slots) {
    int expected = free_slot;
    if (!s.state.compare_exchange_strong(expected, writing, std::memory_order_acquire)) continue;
    std::memcpy(s.path, abs.c_str(), abs.size() + 1);
    s.state.store(published, std::memory_order_release);
    return true;
  }
  return false;
}

void keep_on_signal(const std::string& path) {
  const std::string abs = absolute(path);
  for (Slot& s : slots) {
    if (s.state.load(std::memory_order_acquire) != published || abs != s.path) continue;
    int expected = published;
    s.state.compare_exchange_strong(expected, free_slot, std::memory_order_release);
  }
}

}  // namespace ostrel
