#include "cli/console.h"

#include <unistd.h>

#include <iomanip>
#include <iostream>

namespace tessarine::cli {
namespace {

constexpr int kBarWidth = 40;
constexpr int kBarDone = 100;

std::atomic<bool> g_stop_requested{false};

extern "C" void OnInterrupt(int /*signal*/) {
  g_stop_requested.store(true);
}

}  // namespace

std::string ForTerminal(std::string_view message) {
  std::string out;
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    out += message[i];
  }
  return out;
}

bool IsTerminal(const std::ostream& out) {
  return &out == &std::cout && isatty(STDOUT_FILENO) == 1;
}

void ConsoleProgress::SetValue(int value) {
  if (value == value_) return;
  value_ = value;
  Draw();
}

void ConsoleProgress::SetState(std::string_view state) {
  state_ = state;
  Draw();
}

void ConsoleProgress::Finish() {
  if (terminal_ && drawn_) out_ << "\n" << std::flush;
  drawn_ = false;
}

void ConsoleProgress::Draw() {
  if (!terminal_) {
    out_ << "progress " << value_ << "%";
    if (!state_.empty()) out_ << " " << state_;
    out_ << "\n";
    return;
  }
  const int filled = value_ * kBarWidth / kBarDone;
  out_ << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, '.') << "] "
       << std::setw(3) << value_ << "%";
  if (!state_.empty()) out_ << " " << state_;
  out_ << std::flush;
  drawn_ = true;
}

InterruptStopsRun::InterruptStopsRun() {
  g_stop_requested.store(false);
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  for (size_t i = 0; i < kStopSignals.size(); ++i) {
    sigaction(kStopSignals[i], &action, &previous_[i]);
  }
}

InterruptStopsRun::~InterruptStopsRun() {
  for (size_t i = 0; i < kStopSignals.size(); ++i) {
    sigaction(kStopSignals[i], &previous_[i], nullptr);
  }
}

const std::atomic<bool>& InterruptStopsRun::stop_requested() {
  return g_stop_requested;
}

}  // namespace tessarine::cli
