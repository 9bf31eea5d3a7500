#pragma once

#include <QImage>
#include <QtGlobal>

#include <cstdint>
#include <memory>

class QPainter;
class QPixmap;

// One 24-bit device-independent bitmap whose pixel memory can be addressed
// directly, held together with a painter (the memory context) that draws on
// the same pixels.
//
// Pixel layout: three bytes per pixel in the order blue, green, red; rows
// stored bottom-up (the first line in memory is the bottom row of the
// picture); every line padded to a multiple of 4 bytes. The painter carries
// a vertical flip, so drawing in picture coordinates (y down from the top)
// lands in that bottom-up storage.
//
// A device context is a QPainter: its device holds the pixels a blit reads.
//
// Sizes are 32-bit signed. A line length or an image size beyond that range
// throws std::overflow_error; every other failure is a false result.
class cDIBSection final {
    Q_DISABLE_COPY_MOVE(cDIBSection)

public:
    // Raster operations a blit accepts, under their customary codes: the
    // plain copy and the bitwise combinations of source and destination.
    static constexpr std::uint32_t SrcCopy = 0x00CC0020;
    static constexpr std::uint32_t SrcPaint = 0x00EE0086;    // source OR destination
    static constexpr std::uint32_t SrcAnd = 0x008800C6;      // source AND destination
    static constexpr std::uint32_t SrcInvert = 0x00660046;   // source XOR destination
    static constexpr std::uint32_t SrcErase = 0x00440328;    // source AND NOT destination
    static constexpr std::uint32_t NotSrcCopy = 0x00330008;  // NOT source
    static constexpr std::uint32_t NotSrcErase = 0x001100A6; // NOT (source OR destination)
    static constexpr std::uint32_t MergePaint = 0x00BB0226;  // NOT source OR destination
    static constexpr std::uint32_t DstInvert = 0x00550009;   // NOT destination
    static constexpr std::uint32_t Blackness = 0x00000042;
    static constexpr std::uint32_t Whiteness = 0x00FF0062;

    cDIBSection();
    ~cDIBSection();

    // Writes the info header for lWidth x lHeight and allocates a section of
    // that size into hDib; this instance's bits pointer then addresses its
    // pixels, which start out black. False (hDib null, bits pointer null)
    // when the size is not positive or the memory cannot be had. lhDC is
    // accepted for the interface's sake: 24-bit pixels need no palette.
    bool CreateDIB(QPainter* lhDC, std::int32_t lWidth, std::int32_t lHeight, QImage& hDib);

    // A 24-bit copy of the picture, of the picture's size; any QImage
    // format is accepted (indexed, monochrome, 16 and 32 bits, with alpha,
    // which is dropped as a plain copy does). A null picture leaves the
    // instance empty with a size of 0 x 0. The picture is not changed.
    void CreateFromPicture(const QImage& picThis);
    void CreateFromPicture(const QPixmap& picThis);

    // Empties the instance, then creates the memory context and a section
    // of the given size. True when both exist.
    bool Create(std::int32_t lWidth, std::int32_t lHeight);

    // 3 x Width rounded up to a multiple of 4.
    std::int32_t BytesPerScanLine() const;
    // The size last requested, even when that creation failed or the
    // instance has been cleared since; 0 before the first creation.
    std::int32_t Width() const { return m_header.biWidth; }
    std::int32_t Height() const { return m_header.biHeight; }

    // Copies from lhDC's device into the section's top-left corner (picture
    // coordinates). A negative width or height means the section's own. An
    // unknown raster operation, a source that holds no pixels, or an empty
    // instance draws nothing; the section then keeps what it held.
    void LoadPictureBlt(QPainter* lhDC, std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                        std::int32_t lSrcWidth = -1, std::int32_t lSrcHeight = -1,
                        std::uint32_t eRop = SrcCopy);

    // Start of the pixel memory, Height x BytesPerScanLine bytes; null when
    // the instance is empty. Invalid after ClearUp, Create or destruction.
    std::uint8_t* DIBSectionBitsPtr() const { return m_bits; }

    // Releases the memory context and the section. The size is kept.
    void ClearUp();

private:
    // The 40-byte bitmap information header, as the bitmap file format
    // and the section's description share it.
    struct BitmapInfoHeader {
        std::int32_t biSize = 0;
        std::int32_t biWidth = 0;
        std::int32_t biHeight = 0;
        std::uint16_t biPlanes = 0;
        std::uint16_t biBitCount = 0;
        std::int32_t biCompression = 0;
        std::int32_t biSizeImage = 0;
        std::int32_t biXPelsPerMeter = 0;
        std::int32_t biYPelsPerMeter = 0;
        std::int32_t biClrUsed = 0;
        std::int32_t biClrImportant = 0;
    };
    static_assert(sizeof(BitmapInfoHeader) == 40);

    // The section's storage, lines in memory order (bottom row first).
    QImage m_section;
    // Declared after the section so that it ends before the section goes.
    std::unique_ptr<QPainter> m_memoryContext;
    std::uint8_t* m_bits = nullptr;
    BitmapInfoHeader m_header;
};
