// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the picture loader the run uses: every outcome but
// a picture or a run-time error (a crash, a hang, a sanitizer report) is a fault.
#include "picture_files.h"
#include "runtime_error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const tollamere::PictureFile file = tollamere::LoadPictureFromBytes({data, size});
        if (!file.picture.HasBitmap())
            std::abort();
    } catch (const tollamere::RuntimeError&) {
    }
    return 0;
}
