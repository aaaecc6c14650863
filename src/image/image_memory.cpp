#include "image/image_memory.h"

#include <cstdint>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vornalix {

namespace {

// Below this an image is left to the heap.
constexpr std::size_t kMapFrom = std::size_t(1) << 20;

// Fills in the steps a matrix of these sizes takes (those the caller left to
// the allocator) and returns its bytes, as OpenCV's own allocator does.
size_t fill_steps(int dims, const int* sizes, int type, void* data0, size_t* step) {
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
    return total;
}

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
        const size_t total = fill_steps(dims, sizes, type, data0, step);
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

cv::MatAllocator* mapped_allocator() {
    static cv::MatAllocator* const mapped = new MappedAllocator;  // outlives every matrix
    return mapped;
}

void use_mapped_memory(cv::Mat& m, cv::Size size, int type) {
    if (static_cast<std::size_t>(size.area()) * CV_ELEM_SIZE(type) >= kMapFrom) m.allocator = mapped_allocator();
}
#else
cv::MatAllocator* mapped_allocator() { return cv::Mat::getDefaultAllocator(); }
void use_mapped_memory(cv::Mat&, cv::Size, int) {}
#endif

// Planes start on a cache line.
constexpr size_t kPlaneAlignment = 64;

size_t aligned_up(size_t offset) { return (offset + kPlaneAlignment - 1) & ~(kPlaneAlignment - 1); }

}  // namespace

void create_image(cv::Mat& m, cv::Size size, int type) {
    if ((m.size() != size || m.type() != type) && !dynamic_cast<const PlaneLender*>(m.allocator))
        use_mapped_memory(m, size, type);
    m.create(size, type);
}

void PlaneLender::lend_from(const cv::Mat& block) {
    cv::Mat dropped;  // let go of outside the lock
    std::lock_guard<std::mutex> lock(mutex_);
    const bool held_here = block.u && block.u == block_.u;
    open_ = !block.empty() && block.isContinuous() && block.u && block.u->refcount <= (held_here ? 2 : 1) &&
            (held_here || out_.empty());
    if (out_.empty()) {
        dropped = std::move(block_);
        if (open_) block_ = block;
    }
}

bool PlaneLender::lending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !out_.empty();
}

cv::UMatData* PlaneLender::allocate(int dims, const int* sizes, int type, void* data0, size_t* step,
                                    cv::AccessFlag flags, cv::UMatUsageFlags usage) const {
    const size_t bytes = fill_steps(dims, sizes, type, data0, step);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const size_t room = open_ && !data0 ? block_.total() * block_.elemSize() : 0;
        // The first gap it fits, planes in order of their offsets.
        size_t offset = 0;
        auto next = out_.begin();
        for (; next != out_.end() && offset + bytes > next->first; ++next)
            offset = aligned_up(next->first + next->second);
        if (bytes > 0 && offset + bytes <= room) {
            out_.insert(next, {offset, bytes});
            auto* u = new cv::UMatData(this);
            u->data = u->origdata = block_.data + offset;
            u->size = bytes;
            return u;
        }
    }
    cv::MatAllocator* fresh = bytes >= kMapFrom && !data0 ? mapped_allocator() : cv::Mat::getDefaultAllocator();
    return fresh->allocate(dims, sizes, type, data0, step, flags, usage);
}

void PlaneLender::deallocate(cv::UMatData* u) const {
    if (!u) return;
    cv::Mat dropped;  // let go of outside the lock
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto offset = static_cast<size_t>(u->origdata - block_.data);
        for (auto it = out_.begin(); it != out_.end(); ++it)
            if (it->first == offset) {
                out_.erase(it);
                break;
            }
        if (out_.empty() && !open_) dropped = std::move(block_);
    }
    delete u;
}

}  // namespace vornalix
