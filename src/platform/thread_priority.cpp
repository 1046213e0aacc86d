#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kws {

void set_current_thread_priority(ThreadPriority priority) {
  if (priority == ThreadPriority::normal) return;
  sched_param parameters{};
  parameters.sched_priority = sched_get_priority_max(SCHED_FIFO);
  if (parameters.sched_priority > 0 && pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters) == 0) return;
  // Without the right to real-time scheduling, the lowest nice value the
  // resource limit allows (on Linux the nice value is per thread).
  const auto thread = static_cast<id_t>(syscall(SYS_gettid));
  for (int nice = -20; nice < 0; ++nice) {
    if (setpriority(PRIO_PROCESS, thread, nice) == 0) return;
  }
}

}  // namespace kws
