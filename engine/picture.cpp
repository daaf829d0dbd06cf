#include "picture.h"

#include "runtime_error.h"

namespace tollamere {

Picture::Picture(std::int32_t width, std::int32_t height, std::uint32_t fill)
{
    if (width <= 0 || height <= 0)
        return;
    try {
        pixels_.assign(std::size_t(width) * std::size_t(height), fill);
    } catch (const std::bad_alloc&) {
        Raise(ErrorNumber::OutOfMemory);
    }
    width_ = width;
    height_ = height;
}

std::uint32_t ApplyRasterOp(RasterOp rop, std::uint32_t source, std::uint32_t destination) noexcept
{
    constexpr std::uint32_t colour = 0x00FFFFFFu;
    switch (rop) {
    case RasterOp::SrcCopy: return source & colour;
    case RasterOp::SrcPaint: return (source | destination) & colour;
    case RasterOp::SrcAnd: return source & destination & colour;
    case RasterOp::SrcInvert: return (source ^ destination) & colour;
    case RasterOp::NotSrcCopy: return ~source & colour;
    case RasterOp::DstInvert: return ~destination & colour;
    case RasterOp::Blackness: return 0;
    case RasterOp::Whiteness: return colour;
    }
    return destination & colour;
}

} // namespace tollamere
