#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Frame-sized buffers that come back when their last holder lets go of
// them. A frame is filled once and then shared, never copied, by whoever
// needs it (the examination's workers, the snapshot, the live picture);
// reusing the buffers spares the page faults of fresh multi-megabyte blocks
// on every frame. Holders may drop their share on any thread.
class FramePool final {
public:
    // A filled frame, read-only from then on.
    using Frame = std::shared_ptr<const std::vector<std::uint8_t>>;

    FramePool();
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // A buffer of `size` bytes for the caller to fill; its old contents are
    // whatever the last frame left. Buffers still out when the pool ends
    // are freed by their last holder.
    std::shared_ptr<std::vector<std::uint8_t>> take(std::size_t size);

private:
    // More are never held at once by the program; beyond that they go.
    static constexpr std::size_t MaxShelved = 16;
    struct Shelf {
        std::mutex mutex;
        std::vector<std::unique_ptr<std::vector<std::uint8_t>>> buffers;
    };
    std::shared_ptr<Shelf> m_shelf;
};
