// SPDX-License-Identifier: MIT
#include "window_support.h"

#include "bevel.h"
#include "icon_format.h"
#include "run_steps.h"
#include "runtime_error.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

namespace tollamere {

namespace {

// A pointer picture is a few kilobytes; anything far larger beside the
// program is not one, and is not read into memory.
constexpr qint64 MaxCursorFileBytes = 4 * 1024 * 1024;

std::string Native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdString();
}

} // namespace

std::string FailureDescription(std::exception_ptr failure)
{
    return FailureOf(0, std::move(failure)).description;
}

QString ApplicationTitleFor(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;
        title.truncate(blank);
    } while (title.size() > MaxApplicationTitleLength);
    return title;
}

QString FromAscii(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString DisplayText(const QString& text)
{
    QString display = text;
    display.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    display.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return display;
}

std::optional<QPoint> ReadCursorHotspot(QByteArrayView fileBytes)
{
    const std::optional<CursorHotspot> hotspot =
        CursorFileHotspot(std::span(reinterpret_cast<const std::uint8_t*>(fileBytes.data()), std::size_t(fileBytes.size())));
    if (!hotspot)
        return std::nullopt;
    return QPoint(int(hotspot->x), int(hotspot->y));
}

QCursor LoadCursorFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        RaiseWithReason(ErrorNumber::PathFileAccessError, Native(path) + ": " + file.errorString().toStdString());
    if (file.size() > MaxCursorFileBytes)
        RaiseWithReason(ErrorNumber::InvalidPicture, Native(path) + " is too large for a pointer picture");
    const QByteArray bytes = file.readAll();

    QImage image;
    if (!image.loadFromData(bytes, CursorReaderName) && !image.loadFromData(bytes))
        RaiseWithReason(ErrorNumber::InvalidPicture, Native(path) + " holds no picture");

    // Without a usable hotspot Qt takes the picture's centre.
    QPoint hotspot(-1, -1);
    if (const std::optional<QPoint> named = ReadCursorHotspot(bytes); named && image.rect().contains(*named))
        hotspot = *named;
    return QCursor(QPixmap::fromImage(image), hotspot.x(), hotspot.y());
}

QImage DrawProgramIcon(std::int32_t size)
{
    // Drawn for 64 pixels (a 3-pixel margin, a 6-pixel bevel) and scaled, so
    // every size shows the same button rather than a blurred copy of one.
    const double scale = size / 64.0;
    const double centre = (size - 1) / 2.0;
    const double radius = size / 2.0 - 3.0 * scale;
    const long bevelSize = std::max(1L, std::lround(6.0 * scale));
    constexpr std::uint32_t Outside = 0xFF000000u;
    constexpr std::uint32_t Face = 0xFF2A7FC4u;

    // Black counts as outside the shape, so the effect bevels the disc's rim.
    Picture face(size, size, Outside);
    for (std::int32_t y = 0; y < size; ++y)
        for (std::int32_t x = 0; x < size; ++x) {
            const double dx = x - centre;
            const double dy = y - centre;
            if (dx * dx + dy * dy <= radius * radius)
                face.Pixel(x, y) = Face;
        }

    Picture button = face;
    ApplyBevel(face, button, ParseBevelParameters(std::to_string(bevelSize), DefaultLightAngleText, DefaultLightElevationText, "."));

    QImage image(size, size, QImage::Format_ARGB32);
    for (std::int32_t y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (std::int32_t x = 0; x < size; ++x)
            row[x] = face.Pixel(x, y) == Outside ? 0u : button.Pixel(x, y);
    }
    return image;
}

QLabel* MakeProblemLabel(QWidget* dialog)
{
    auto* problem = new QLabel(dialog);
    problem->setObjectName(QStringLiteral("problem"));
    problem->setWordWrap(true);
    problem->setStyleSheet(QStringLiteral("color: #a00000"));
    problem->hide();
    return problem;
}

QIcon MakeProgramIcon()
{
    return QIcon(QPixmap::fromImage(DrawProgramIcon(64)));
}

QPalette DarkPalette()
{
    const QColor window(45, 45, 48);
    const QColor base(30, 30, 32);
    const QColor text(230, 230, 230);
    // Dimmed, yet well apart from the backgrounds it is drawn on.
    const QColor disabledText(150, 150, 150);
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabledText);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(60, 60, 64));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(255, 110, 110));
    palette.setColor(QPalette::Light, QColor(80, 80, 84));
    palette.setColor(QPalette::Midlight, QColor(70, 70, 74));
    palette.setColor(QPalette::Mid, QColor(40, 40, 42));
    palette.setColor(QPalette::Dark, QColor(25, 25, 27));
    palette.setColor(QPalette::Shadow, QColor(10, 10, 10));
    palette.setColor(QPalette::Link, QColor(90, 160, 255));
    palette.setColor(QPalette::Highlight, QColor(45, 110, 200));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(50, 50, 53));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(70, 70, 74));
    return palette;
}

bool DesktopPrefersDark()
{
    return qEnvironmentVariable("GTK_THEME").endsWith(QStringLiteral(":dark"), Qt::CaseInsensitive);
}

} // namespace tollamere
