#include "image/image_memory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vornalix {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Below this an image spans at most one whole huge page: not worth a call.
constexpr std::size_t kAdviseFrom = 4 * kHugePage;

// Only the huge pages wholly inside the buffer are advised, so no memory
// outside it changes.
void advise_huge_pages(const cv::Mat& m) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const std::size_t bytes = static_cast<std::size_t>(m.dataend - m.datastart);
    if (bytes < kAdviseFrom) return;
    const auto start = reinterpret_cast<std::uintptr_t>(m.datastart);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
    // A refusal (no transparent huge pages here) leaves ordinary pages.
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)m;
#endif
}

}  // namespace

void create_image(cv::Mat& m, cv::Size size, int type) {
    const uchar* before = m.datastart;
    m.create(size, type);
    if (m.datastart != before) advise_huge_pages(m);
}

}  // namespace vornalix
