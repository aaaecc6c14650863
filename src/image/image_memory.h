#pragma once
// Allocation of large images, each mapped on its own (from 1 MB), so its
// memory goes back to the system when the image is freed. A render or a
// decode touches every page of its images once; on the virtual machines
// photo tools often run on, each 4 KiB first-touch fault costs microseconds,
// which for a few 40 MB images adds up to more than the arithmetic. Asking
// for transparent huge pages where the system grants them on request turns
// those faults into a few dozen.

#include <opencv2/core.hpp>

#include <mutex>
#include <utility>
#include <vector>

namespace vornalix {

// m.create(size, type), mapped from 1 MB; a fresh allocation of at least a
// few megabytes is then advised to use huge pages (nothing else changes,
// and nothing happens where the system has no such advice).
// A matrix whose allocator is a PlaneLender keeps it.
void create_image(cv::Mat& m, cv::Size size, int type);

// Lends planes out of the memory of an image nothing else is using (the
// warps' spare, kept from one render to the next): a stage's planes then
// land on pages faulted in already instead of fresh ones. Set as a
// matrix's allocator, create_image() and OpenCV's create() take memory from
// it. Each plane has its own count of users and its bytes come back when
// the last one lets go, so a plane a queued kernel still reads is never
// lent twice. A plane that finds no room is mapped afresh.
class PlaneLender final : public cv::MatAllocator {
public:
    // Lends from `block` from now on, if nothing but its owner holds it; an
    // empty or busy block lends nothing. While planes are out the block
    // stays the one they came from, and alive.
    void lend_from(const cv::Mat& block);
    // A plane is out.
    bool lending() const;

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data0, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override;
    bool allocate(cv::UMatData* u, cv::AccessFlag, cv::UMatUsageFlags) const override { return u != nullptr; }
    void deallocate(cv::UMatData* u) const override;

private:
    mutable std::mutex mutex_;
    mutable cv::Mat block_;
    bool open_ = false;  // new planes may come from block_
    mutable std::vector<std::pair<size_t, size_t>> out_;  // offset and bytes of each plane out, in order
};

}  // namespace vornalix
