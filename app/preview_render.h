// SPDX-License-Identifier: MIT
#pragma once

// The preview's pictures, made without widgets, so that the preview's worker
// thread and the benchmark run the very same steps: a picture read once, its
// bevelled copy for each set of parameters, and both fitted to a box.

#include "bevel.h"
#include "picture_files.h"

#include <QImage>
#include <QSize>

#include <memory>
#include <string>

namespace tollamere {

// A picture at full size with its copy fitted to the box. full shares the
// picture's memory rather than copying it.
struct PreviewPicture {
    QImage full;
    QImage thumbnail;
};

// The picture a row names, decoded once and kept while the row stays the
// preview's subject.
struct PreviewSource {
    std::shared_ptr<const PictureFile> file;
    PreviewPicture shown;
};

// The largest size with the picture's aspect that fits the box. Pictures
// already inside the box keep their size: a tiny picture blown up would
// show blocks that are not in the result.
QSize FittedSize(QSize picture, QSize box);

// The picture fitted to the box with FittedSize, averaging the pixels each
// thumbnail pixel covers; the picture itself when it already fits.
QImage FitToBox(const QImage& picture, QSize box);

// A view of the picture as an image, without copying its pixels: the image
// keeps the picture alive. The alpha byte is shown only when hasAlpha.
QImage ImageOf(std::shared_ptr<const Picture> picture, bool hasAlpha);

// Reads and decodes the file (the path's bytes kept as they are). Raises the
// RuntimeError LoadPictureFile raises.
PreviewSource LoadPreviewSource(const std::string& path, QSize box);

// The bevelled copy of the source with these parameters, on up to `threads`
// threads, with the effect's memory kept in the workspace from one update to
// the next (its pages are had once, not at every change). Raises the
// RuntimeError ApplyBevel raises.
PreviewPicture RenderPreview(const PictureFile& source, const BevelParameters& parameters, QSize box,
                             unsigned threads, const BevelLook& look, BevelWorkspace& workspace);

} // namespace tollamere
