// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace tollamere {

// The window's texts that name the picture formats, from the format
// registry: the file dialog's filter, and the help's names of the formats
// read and written ("BMP, JPG, ... and JPEG XL") and of those only read.
QString PictureFilterText();
QString ReadWrittenFormatNames();
QString ReadOnlyFormatNamesText();

} // namespace tollamere
