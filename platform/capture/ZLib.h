#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Compressed size of a buffer as zlib's compress2() would produce it. The
// recorder measures every frame this way, so one deflate stream and one
// output buffer are kept and reused instead of allocating per call.
class ZLib {
public:
    static constexpr int BestCompression = 9;

    explicit ZLib(int level = BestCompression);
    ~ZLib();
    ZLib(const ZLib&) = delete;
    ZLib& operator=(const ZLib&) = delete;

    // Returns 0 only if deflate fails, which it does not for valid input.
    std::size_t compressedLength(const std::uint8_t* data, std::size_t size);

    int level() const { return level_; }

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
    int level_;
};
