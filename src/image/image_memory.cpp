#include "image/image_memory.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vornalix {

namespace {

#if defined(__linux__)
constexpr std::size_t kHugePage = std::size_t(2) << 20;

// `bytes` of fresh memory, mapped on its own. From one huge page up the
// mapping starts on a huge page and its whole huge pages are advised to be
// such: the image's first touch then faults a few dozen times instead of
// thousands (a refusal, where the system has no transparent huge pages,
// leaves ordinary pages). The part past the last whole one stays in small
// pages, so no image holds more memory than its size.
void* map_image(std::size_t bytes) {
    if (bytes < kHugePage) {
        void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED) throw std::bad_alloc();
        return data;
    }
    const std::size_t mapped = bytes + kHugePage;  // room to align
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t end = (aligned + bytes + page - 1) & ~(page - 1);
    if (start + mapped > end) munmap(reinterpret_cast<void*>(end), start + mapped - end);
#if defined(MADV_HUGEPAGE)
    madvise(reinterpret_cast<void*>(aligned), bytes & ~(kHugePage - 1), MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

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
        auto* u = new cv::UMatData(this);
        u->data = u->origdata = static_cast<uchar*>(data0 ? data0 : map_image(total));
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
    if (m.size() != size || m.type() != type) use_mapped_memory(m, size, type);
    m.create(size, type);
}

}  // namespace vornalix
