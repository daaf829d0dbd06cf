// SPDX-License-Identifier: MIT
#pragma once

#include "picture_file.h"
#include "picture_size.h"
#include "runtime_error.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tollamere {

// A whole encoded file, built in memory before anything touches the disk.
using EncodedBytes = std::vector<std::uint8_t>;

// Raises Invalid picture (481) for a size without pixels, and Out of memory
// (7) when the picture's pixel words or its 24-bit surface would exceed
// MaxSurfaceBytes. Beyond maxPixels but within that limit it raises
// PictureBeyondAllowance. Decoders call it with the size they are about to
// allocate for, before allocating.
void CheckPictureDimensions(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels = MaxPicturePixels);

// An Out of memory (7) for a picture within the loader's limit but larger
// than the caller allowed: its size, so that the caller can make room for it
// and load it again.
class PictureBeyondAllowance : public RuntimeError {
public:
    PictureBeyondAllowance(PictureSize size, std::uint64_t maxPixels);
    PictureSize Size() const noexcept { return size_; }

private:
    PictureSize size_;
};

[[noreturn]] void RaiseInvalidPicture(const std::string& reason);

// Raises Invalid picture (481) for a picture without pixels, or one wider or
// higher than the format can hold (formatName says which, e.g. "a GIF").
void CheckPictureFitsFormat(const Picture& picture, std::int32_t largestSide, const std::string& formatName);

// True for an ICC profile of RGB data whose header holds together (its size
// field is its length, its signature is there): the only kind that can
// describe a picture's colour words. Every reader keeps a file's profile only
// when this holds, so a grey JPEG's grey profile, a CMYK one on colours that
// were turned into RGB, or damaged bytes never reach an output.
bool IsRgbProfile(std::span<const std::uint8_t> profile) noexcept;

// Bytes a thread keeps from picture to picture, so that a batch does not ask
// for fresh memory per picture; nothing in them is set before the caller
// writes it.
class KeptBytes {
public:
    // Room for `size` bytes. The memory is given back first when it is more
    // than twice that, so that one large picture does not keep its memory
    // through a batch of small ones. Raises std::bad_alloc.
    std::uint8_t* Reserve(std::size_t size);
    std::uint8_t* Data() noexcept { return data_.get(); }
    std::size_t Capacity() const noexcept { return capacity_; }
    // Called when a picture is done: beyond 64 MiB the memory is given back,
    // so that the workers do not each keep a large picture's outside the
    // run's budget.
    void ReleaseIfLarge() noexcept;

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
};

// A fully transparent pixel must read as black so that the effect counts it
// as outside the shape, whatever colour the file stored under it.
void BlackenTransparentPixels(Picture& picture) noexcept;

} // namespace tollamere
