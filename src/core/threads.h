#pragma once
// The process-wide cap on the threads one decode or render uses, for hosts
// that run several contexts at once.

namespace vornalix::threads {

// Caps OpenCV's pool and every later LibRaw decode at `threads` (0 or less:
// the libraries' own defaults, one thread per processor).
void set_limit(int threads);

// Gives the calling thread's OpenMP teams, in which LibRaw decodes, the cap.
// OpenMP keeps the team size per thread, so every decoding thread calls it.
void limit_calling_thread();

}  // namespace vornalix::threads
