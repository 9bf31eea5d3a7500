#include "cDIBSection.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QTransform>

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

std::int32_t checkedInt32(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw std::overflow_error("bitmap size beyond the 32-bit range");
    return static_cast<std::int32_t>(value);
}

using ByteOp = std::uint8_t (*)(std::uint8_t source, std::uint8_t destination);

// The bitwise raster operations other than the plain copy, byte by byte.
// Qt's own raster-op composition modes treat a 24-bit BGR destination as
// RGB, so they are not used here.
ByteOp byteOperation(std::uint32_t rop) {
    switch (rop) {
    case cDIBSection::SrcPaint:
        return [](std::uint8_t s, std::uint8_t d) -> std::uint8_t { return s | d; };
    case cDIBSection::SrcAnd:
        return [](std::uint8_t s, std::uint8_t d) -> std::uint8_t { return s & d; };
    case cDIBSection::SrcInvert:
        return [](std::uint8_t s, std::uint8_t d) -> std::uint8_t { return s ^ d; };
    case cDIBSection::SrcErase:
        return [](std::uint8_t s, std::uint8_t d) -> std::uint8_t { return s & ~d; };
    case cDIBSection::NotSrcCopy:
        return [](std::uint8_t s, std::uint8_t) -> std::uint8_t { return ~s; };
    case cDIBSection::NotSrcErase:
        return [](std::uint8_t s, std::uint8_t d) -> std::uint8_t { return ~(s | d); };
    case cDIBSection::MergePaint:
        return [](std::uint8_t s, std::uint8_t d) -> std::uint8_t { return ~s | d; };
    case cDIBSection::DstInvert:
        return [](std::uint8_t, std::uint8_t d) -> std::uint8_t { return ~d; };
    case cDIBSection::Blackness:
        return [](std::uint8_t, std::uint8_t) -> std::uint8_t { return 0x00; };
    case cDIBSection::Whiteness:
        return [](std::uint8_t, std::uint8_t) -> std::uint8_t { return 0xff; };
    default:
        return nullptr;
    }
}

} // namespace

cDIBSection::cDIBSection() = default;

cDIBSection::~cDIBSection() {
    ClearUp();
}

std::int32_t cDIBSection::BytesPerScanLine() const {
    return checkedInt32(std::int64_t{m_header.biWidth} * 3 + 3) & ~std::int32_t{3};
}

bool cDIBSection::CreateDIB(QPainter* /*lhDC*/, std::int32_t lWidth, std::int32_t lHeight,
                            QImage& hDib) {
    // Never leave the bits pointer on older pixels than the header describes,
    // not even when the size computation below throws.
    m_bits = nullptr;
    hDib = QImage();

    m_header.biSize = sizeof(BitmapInfoHeader);
    m_header.biWidth = lWidth;
    m_header.biHeight = lHeight;
    m_header.biPlanes = 1;
    m_header.biBitCount = 24;
    m_header.biCompression = 0;
    m_header.biSizeImage = checkedInt32(std::int64_t{lHeight} * BytesPerScanLine());

    // Only bottom-up sections exist here, so a negative height is refused
    // like an empty one.
    if (lWidth <= 0 || lHeight <= 0)
        return false;
    QImage section(lWidth, lHeight, QImage::Format_BGR888);
    // QImage pads 24-bit lines to 32 bits, which is the section's stride;
    // anything else would break the layout the pixel readers rely on.
    if (section.isNull() || section.bytesPerLine() != BytesPerScanLine())
        return false;
    std::memset(section.bits(), 0, static_cast<std::size_t>(section.sizeInBytes()));
    hDib = std::move(section);
    m_bits = hDib.bits();
    return true;
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight) {
    ClearUp();
    m_memoryContext = std::make_unique<QPainter>();
    bool created = false;
    try {
        created = CreateDIB(m_memoryContext.get(), lWidth, lHeight, m_section);
    } catch (...) {
        ClearUp();
        throw;
    }
    if (!created || !m_memoryContext->begin(&m_section)) {
        ClearUp();
        return false;
    }
    // Storage line 0 is the picture's bottom row.
    m_memoryContext->setTransform(QTransform(1, 0, 0, -1, 0, lHeight));
    return true;
}

void cDIBSection::CreateFromPicture(const QImage& picThis) {
    const std::int32_t width = picThis.isNull() ? 0 : picThis.width();
    const std::int32_t height = picThis.isNull() ? 0 : picThis.height();
    if (!Create(width, height))
        return;
    // The temporary context reads the picture in a 32-bit layout without
    // alpha, the form a painter can hold for every picture format
    // (indexed images cannot be painted on); the picture itself stays as it
    // is.
    QImage compatible = picThis.convertToFormat(QImage::Format_RGB32);
    QPainter temporary;
    if (compatible.isNull() || !temporary.begin(&compatible))
        return;
    LoadPictureBlt(&temporary, 0, 0, -1, -1, SrcCopy);
    temporary.end();
}

void cDIBSection::CreateFromPicture(const QPixmap& picThis) {
    CreateFromPicture(picThis.toImage());
}

void cDIBSection::LoadPictureBlt(QPainter* lhDC, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                                 std::int32_t lSrcWidth, std::int32_t lSrcHeight,
                                 std::uint32_t eRop) {
    if (!m_memoryContext || !m_memoryContext->isActive() || lhDC == nullptr)
        return;
    // Only what lands inside the section matters: the destination is its
    // top-left corner.
    const std::int32_t width = std::min(lSrcWidth < 0 ? Width() : lSrcWidth, m_section.width());
    const std::int32_t height =
        std::min(lSrcHeight < 0 ? Height() : lSrcHeight, m_section.height());
    if (width <= 0 || height <= 0)
        return;

    QImage converted;
    const QImage* source = nullptr;
    if (QPaintDevice* device = lhDC->device(); device == nullptr) {
        return;
    } else if (device->devType() == QInternal::Image) {
        source = static_cast<const QImage*>(device);
    } else if (device->devType() == QInternal::Pixmap) {
        converted = static_cast<const QPixmap*>(device)->toImage();
        source = &converted;
    } else {
        return;
    }
    const QRect from(lSrcLeft, lSrcTop, width, height);

    if (eRop == SrcCopy) {
        m_memoryContext->setCompositionMode(QPainter::CompositionMode_Source);
        m_memoryContext->drawImage(QPoint(0, 0), *source, from);
        return;
    }
    const ByteOp op = byteOperation(eRop);
    if (op == nullptr)
        return;
    // The source region in the section's own pixel format, top row first;
    // parts outside the source stay black.
    QImage region(width, height, QImage::Format_BGR888);
    if (region.isNull())
        return;
    region.fill(Qt::black);
    {
        QPainter painter(&region);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), *source, from);
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* s = region.constScanLine(y);
        std::uint8_t* d = m_section.scanLine(m_section.height() - 1 - y);
        for (std::size_t i = 0; i < rowBytes; ++i)
            d[i] = op(s[i], d[i]);
    }
}

void cDIBSection::ClearUp() {
    if (m_memoryContext) {
        if (m_memoryContext->isActive())
            m_memoryContext->end();
        m_memoryContext.reset();
    }
    m_section = QImage();
    m_bits = nullptr;
}
