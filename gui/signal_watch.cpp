#include "gui/signal_watch.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cassert>
#include <cerrno>

namespace ostrel::gui {

namespace {

constexpr std::array<int, 3> watched = {SIGINT, SIGTERM, SIGHUP};

// The pipe from the handler to the window thread, and the handlers replaced. Process-wide by
// nature: signal handlers are.
int pipe_fds[2] = {-1, -1};
struct sigaction previous[watched.size()];

// Async-signal-safe: one byte with the signal number into the pipe.
void on_signal(int sig) {
  const int saved = errno;
  const char c = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t n = write(pipe_fds[1], &c, 1);
  errno = saved;
}

}  // namespace

SignalWatch::SignalWatch(std::function<void(int)> caught) : caught_(std::move(caught)) {
  assert(pipe_fds[0] < 0);
  if (pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipe_fds[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    char c = 0;
    while (read(pipe_fds[0], &c, 1) == 1)
      if (caught_) caught_(static_cast<unsigned char>(c));
  });
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < watched.size(); ++i)
    sigaction(watched[i], &sa, &previous[i]);
}

SignalWatch::~SignalWatch() {
  if (pipe_fds[0] < 0) return;
  for (std::size_t i = 0; i < watched.size(); ++i)
    sigaction(watched[i], &previous[i], nullptr);
  notifier_.reset();
  close(pipe_fds[0]);
  close(pipe_fds[1]);
  pipe_fds[0] = pipe_fds[1] = -1;
}

}  // namespace ostrel::gui
