// SPDX-License-Identifier: MIT
#include "preview_render.h"

#include "file_path.h"

#include <algorithm>
#include <cmath>

namespace tollamere {

QSize FittedSize(QSize picture, QSize box)
{
    if (picture.isEmpty() || box.isEmpty())
        return QSize();
    if (picture.width() <= box.width() && picture.height() <= box.height())
        return picture;
    const double scale = std::min(double(box.width()) / picture.width(), double(box.height()) / picture.height());
    // A sliver of a picture still shows as one pixel.
    return QSize(std::clamp(int(std::lround(picture.width() * scale)), 1, box.width()),
                 std::clamp(int(std::lround(picture.height() * scale)), 1, box.height()));
}

QImage FitToBox(const QImage& picture, QSize box)
{
    const QSize size = FittedSize(picture.size(), box);
    if (size.isEmpty())
        return QImage();
    if (size == picture.size())
        return picture;
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage ImageOf(std::shared_ptr<const Picture> picture, bool hasAlpha)
{
    if (!picture || !picture->HasBitmap())
        return QImage();
    // Picture words are 0xAARRGGBB, top row first, rows packed: the layout of
    // Qt's 32-bit formats, so the image can read the picture's own memory.
    const Picture& pixels = *picture;
    auto* keeper = new std::shared_ptr<const Picture>(std::move(picture));
    return QImage(reinterpret_cast<const uchar*>(pixels.Row(0)), pixels.Width(), pixels.Height(),
                  qsizetype(pixels.Width()) * 4, hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32,
                  [](void* held) { delete static_cast<std::shared_ptr<const Picture>*>(held); }, keeper);
}

PreviewSource LoadPreviewSource(const std::string& path, QSize box)
{
    auto file = std::make_shared<PictureFile>(LoadPictureFile(ToFileSystemPath(path)));
    // Shown as the run bevels it by default: a photo stored sideways, upright.
    TurnPictureUpright(*file);
    PreviewSource source;
    source.shown.full = ImageOf(std::shared_ptr<const Picture>(file, &file->picture), file->hasAlpha);
    source.shown.thumbnail = FitToBox(source.shown.full, box);
    source.file = std::move(file);
    return source;
}

PreviewPicture RenderPreview(const PictureFile& source, const BevelParameters& parameters, QSize box,
                             unsigned threads, const BevelLook& look, BevelWorkspace& workspace)
{
    // As the conversion run does: the result starts as the input, so it keeps
    // the input's alpha.
    auto result = std::make_shared<Picture>(source.picture);
    // The margin and the shadow show as an output that holds alpha gets them.
    ApplyLook(*result, parameters, look, true, threads, workspace);
    PreviewPicture shown;
    shown.full = ImageOf(std::move(result), source.hasAlpha || look.decoration.Any());
    shown.thumbnail = FitToBox(shown.full, box);
    return shown;
}

} // namespace tollamere
