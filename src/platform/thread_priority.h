// Thread priorities, best effort: a thread asks for what it needs and runs at
// whatever the system grants. Never an error.
#pragma once

namespace kws {

enum class ThreadPriority {
  normal,
  time_critical,  // capture: must keep pace with the sound device
};

// Raises the calling thread to real-time scheduling at the highest priority
// permitted, or to the lowest nice value permitted, or leaves it as it is.
void set_current_thread_priority(ThreadPriority priority);

}  // namespace kws
