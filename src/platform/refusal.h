// A failure carried as a value up to the program's edge: the exact text the
// station shows, where it shows it, and whether the station must end.
//
// Library code never ends the process or waits for the user; it returns a
// Refusal, and the edge (the kws command's main, the station's start-up)
// shows it with show_refusal and decides what follows.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kws {

struct Refusal {
  enum class Shown { console, message_box };
  Shown shown = Shown::console;
  std::string text;           // as shown, with its own line end where it has one
  bool wait_for_key = false;  // the station pauses for a key before ending
  bool ends_station = true;   // false: the station reports it and goes on

  static Refusal on_console(std::string text) { return {Shown::console, std::move(text), false, true}; }
  static Refusal in_message_box(std::string text) { return {Shown::message_box, std::move(text), false, true}; }
  // A message box after which the station goes on without what was refused.
  static Refusal in_message_box_going_on(std::string text) {
    return {Shown::message_box, std::move(text), false, false};
  }
};

// A value or the refusal that stopped it.
template <typename T>
class OrRefusal {
 public:
  OrRefusal(T value) : state_(std::move(value)) {}            // NOLINT: implicit, like std::expected
  OrRefusal(Refusal refusal) : state_(std::move(refusal)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const Refusal& refusal() const { return std::get<1>(state_); }

 private:
  std::variant<T, Refusal> state_;
};

// Shows the refusal through the message sink, as a message box or a console
// line, then waits for a key when it asks for one. What the program edges do
// before they end with status 1.
void show_refusal(const Refusal& refusal);

}  // namespace kws
