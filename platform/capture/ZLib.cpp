#include "ZLib.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <vector>

struct ZLib::Stream {
    z_stream z{};
    // Only the length is wanted: the output goes through this scratch
    // buffer chunk by chunk. Deflate's output does not depend on how the
    // output space is handed to it, so the count equals compress2's.
    std::vector<Bytef> scratch = std::vector<Bytef>(64 * 1024);
};

ZLib::ZLib(int level)
    : stream_(std::make_unique<Stream>())
    , level_(level) {
    // deflateInit() is what compress2() uses: zlib wrapper, 32 KiB window,
    // default memory level and strategy.
    if (deflateInit(&stream_->z, level) != Z_OK)
        throw std::runtime_error("deflateInit failed");
}

ZLib::~ZLib() {
    deflateEnd(&stream_->z);
}

std::size_t ZLib::compressedLength(const std::uint8_t* data, std::size_t size) {
    z_stream& z = stream_->z;
    if (deflateReset(&z) != Z_OK)
        return 0;
    constexpr std::size_t maxChunk = std::numeric_limits<uInt>::max();
    std::size_t remaining = size;
    // zlib takes const-less pointers for historical reasons; it only reads.
    z.next_in = const_cast<Bytef*>(data);
    std::size_t total = 0;
    for (;;) {
        if (z.avail_in == 0 && remaining > 0) {
            const std::size_t chunk = std::min(remaining, maxChunk);
            z.avail_in = static_cast<uInt>(chunk);
            remaining -= chunk;
        }
        z.next_out = stream_->scratch.data();
        z.avail_out = static_cast<uInt>(stream_->scratch.size());
        const int ret = deflate(&z, remaining > 0 ? Z_NO_FLUSH : Z_FINISH);
        total += stream_->scratch.size() - z.avail_out;
        if (ret == Z_STREAM_END)
            return total;
        if (ret != Z_OK && ret != Z_BUF_ERROR)
            return 0;
    }
}
