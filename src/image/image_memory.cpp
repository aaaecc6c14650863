#include "image/image_memory.h"

#include <cstdint>
#include <new>

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

#if defined(__linux__)
// Maps each image's memory of its own and unmaps it when the last matrix
// lets go: freed images go back to the system at once, instead of staying
// in the heap (which keeps blocks under its adaptive threshold) or in the
// arena of the worker thread that freed them.
class MappedAllocator : public cv::MatAllocator {
public:
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data0, size_t* step, cv::AccessFlag,
                           cv::UMatUsageFlags) const override {
        size_t total = CV_ELEM_SIZE(type);
        for (int i = dims - 1; i >= 0; i--) {
            if (step) {
                if (data0 && step[i] != cv::Mat::AUTO_STEP)
                    total = step[i];
                else
                    step[i] = total;
            }
            total *= sizes[i];
        }
        void* data = data0;
        if (!data) {
            data = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (data == MAP_FAILED) throw std::bad_alloc();
        }
        auto* u = new cv::UMatData(this);
        u->data = u->origdata = static_cast<uchar*>(data);
        u->size = total;
        if (data0) u->flags |= cv::UMatData::USER_ALLOCATED;
        return u;
    }
    bool allocate(cv::UMatData* u, cv::AccessFlag, cv::UMatUsageFlags) const override { return u != nullptr; }
    void deallocate(cv::UMatData* u) const override {
        if (!u) return;
        if (!(u->flags & cv::UMatData::USER_ALLOCATED)) munmap(u->origdata, u->size);
        delete u;
    }
};

// Below this an image is left to the heap.
constexpr std::size_t kMapFrom = std::size_t(1) << 20;

void use_mapped_memory(cv::Mat& m, cv::Size size, int type) {
    static cv::MatAllocator* const mapped = new MappedAllocator;  // outlives every matrix
    if (static_cast<std::size_t>(size.area()) * CV_ELEM_SIZE(type) >= kMapFrom) m.allocator = mapped;
}
#else
void use_mapped_memory(cv::Mat&, cv::Size, int) {}
#endif

}  // namespace

void create_image(cv::Mat& m, cv::Size size, int type) {
    const uchar* before = m.datastart;
    if (m.size() != size || m.type() != type) use_mapped_memory(m, size, type);
    m.create(size, type);
    if (m.datastart != before) advise_huge_pages(m);
}

}  // namespace vornalix
