#include "FramePool.h"

#include <utility>

FramePool::FramePool()
    : m_shelf(std::make_shared<Shelf>()) {}

FramePool::~FramePool() = default;

std::shared_ptr<std::vector<std::uint8_t>> FramePool::take(std::size_t size) {
    std::unique_ptr<std::vector<std::uint8_t>> buffer;
    {
        const std::lock_guard lock(m_shelf->mutex);
        if (!m_shelf->buffers.empty()) {
            buffer = std::move(m_shelf->buffers.back());
            m_shelf->buffers.pop_back();
        }
    }
    if (!buffer)
        buffer = std::make_unique<std::vector<std::uint8_t>>();
    buffer->resize(size);
    // The last holder puts it back on the shelf, if the pool still exists.
    return {buffer.release(), [weak = std::weak_ptr<Shelf>(m_shelf)](std::vector<std::uint8_t>* b) {
                std::unique_ptr<std::vector<std::uint8_t>> owned(b);
                const std::shared_ptr<Shelf> shelf = weak.lock();
                if (!shelf)
                    return;
                const std::lock_guard lock(shelf->mutex);
                if (shelf->buffers.size() < MaxShelved)
                    shelf->buffers.push_back(std::move(owned));
            }};
}
