// SPDX-License-Identifier: MIT
// Draws the installed icons from the window's own icon: a PNG at each size of
// the hicolor theme, and a scalable SVG whose rim colours are read off the
// largest PNG.
//   make_icons OUTPUT_FOLDER
// writes OUTPUT_FOLDER/hicolor/<N>x<N>/apps/<id>.png and
// OUTPUT_FOLDER/hicolor/scalable/apps/<id>.svg.
#include "window_support.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace tollamere {
namespace {

const QString IconName = QStringLiteral("app.tollamere.Tollamere");
constexpr std::int32_t IconSizes[] = {16, 24, 32, 48, 64, 128, 256};

QString Hex(QRgb colour)
{
    return QColor(colour).name(QColor::HexRgb);
}

// The same button as vectors, in the 64-pixel design of DrawProgramIcon: a
// disc whose rim is a gradient across the light's direction (a rim point's
// brightness follows how far it faces the light, which is how far along that
// direction it lies), and the flat face inside it.
QByteArray ScalableIcon(const QImage& drawn)
{
    const double scale = drawn.width() / 64.0;
    const double centre = (drawn.width() - 1) / 2.0;
    constexpr double Radius = 29.0;
    constexpr double Bevel = 6.0;
    const double middleOfRim = (Radius - Bevel / 2) * scale;
    const double diagonal = std::numbers::sqrt2 / 2;
    const auto sample = [&](double towardsX, double towardsY) {
        return drawn.pixel(static_cast<int>(std::lround(centre + towardsX * middleOfRim)),
                           static_cast<int>(std::lround(centre + towardsY * middleOfRim)));
    };
    // The light comes from the upper left (135 degrees).
    const QRgb lit = sample(-diagonal, -diagonal);
    const QRgb side = sample(diagonal, -diagonal);
    const QRgb shaded = sample(diagonal, diagonal);
    const QRgb face = drawn.pixel(drawn.width() / 2, drawn.height() / 2);
    const double far = Radius * diagonal;

    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">\n"
               "  <defs>\n"
               "    <linearGradient id=\"rim\" gradientUnits=\"userSpaceOnUse\" x1=\"%1\" y1=\"%1\" x2=\"%2\" y2=\"%2\">\n"
               "      <stop offset=\"0\" stop-color=\"%3\"/>\n"
               "      <stop offset=\"0.5\" stop-color=\"%4\"/>\n"
               "      <stop offset=\"1\" stop-color=\"%5\"/>\n"
               "    </linearGradient>\n"
               "  </defs>\n"
               "  <circle cx=\"32\" cy=\"32\" r=\"%6\" fill=\"url(#rim)\"/>\n"
               "  <circle cx=\"32\" cy=\"32\" r=\"%7\" fill=\"%8\"/>\n"
               "</svg>\n")
        .arg(32 - far)
        .arg(32 + far)
        .arg(Hex(lit), Hex(side), Hex(shaded))
        .arg(Radius)
        .arg(Radius - Bevel)
        .arg(Hex(face))
        .toUtf8();
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "make_icons: cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace
} // namespace tollamere

int main(int argc, char* argv[])
{
    using namespace tollamere;
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons OUTPUT_FOLDER\n");
        return 2;
    }
    const QString theme = QFile::decodeName(argv[1]) + QStringLiteral("/hicolor/");
    QImage largest;
    for (const std::int32_t size : IconSizes) {
        const QImage icon = DrawProgramIcon(size);
        const QString path = theme + QStringLiteral("%1x%1/apps/").arg(size) + IconName + QStringLiteral(".png");
        QByteArray png;
        QBuffer buffer(&png);
        if (!icon.save(&buffer, "PNG") || !Write(path, png))
            return 1;
        largest = icon;
    }
    return Write(theme + QStringLiteral("scalable/apps/") + IconName + QStringLiteral(".svg"), ScalableIcon(largest))
               ? 0
               : 1;
}
