#include "core/threads.h"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <atomic>
#include <thread>

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace vornalix::threads {

namespace {

std::atomic<int> limit{0};

// LibRaw's OpenMP runtime when it has one, found in the process rather than
// linked: the library builds no OpenMP code of its own.
void set_openmp_threads(int threads) {
#if defined(__linux__)
    using SetNumThreads = void (*)(int);
    static const auto set = []() -> SetNumThreads {
        void* runtime = dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD);
        return runtime ? reinterpret_cast<SetNumThreads>(dlsym(runtime, "omp_set_num_threads")) : nullptr;
    }();
    if (set) set(threads);
#else
    (void)threads;
#endif
}

}  // namespace

void set_limit(int threads) {
    limit = threads > 0 ? threads : 0;
    cv::setNumThreads(threads > 0 ? threads : -1);
}

void limit_calling_thread() {
    const int threads = limit;
    set_openmp_threads(threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

}  // namespace vornalix::threads
