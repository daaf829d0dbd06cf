// SPDX-License-Identifier: MIT
#pragma once

// Small pieces of the main window that need no window: the application
// title, message texts, the hand pointer file, the program's icon, and a
// label its dialogs share.

#include <QByteArrayView>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QWidget;

namespace tollamere {

inline constexpr qsizetype MaxApplicationTitleLength = 40;

// The product name cut back at its last blank, at least once, until it is at
// most 40 characters long. A name without a blank keeps the whole name (there
// is no word to drop), as does what remains when no blank is left.
QString ApplicationTitleFor(const QString& productName);

// A text of the program's own, in ASCII (a default, say), for a widget.
QString FromAscii(std::string_view text);

// Message texts use CR LF and CR as line breaks; Qt's widgets want LF.
QString DisplayText(const QString& text);

// The hotspot a cursor file names in its first directory entry, or nothing
// when the bytes are no cursor file (an icon file has no hotspot).
std::optional<QPoint> ReadCursorHotspot(QByteArrayView fileBytes);

// The cursor drawn by a CUR file, with the hotspot the file names. Raises a
// RuntimeError when the file cannot be read or holds no picture.
QCursor LoadCursorFile(const QString& path);

// A round button drawn in memory and bevelled by the program's own effect,
// size by size pixels; the installed icons are drawn by it too.
QImage DrawProgramIcon(std::int32_t size);

// The window's icon: the button at 64 pixels.
QIcon MakeProgramIcon();

// A dark palette for the Fusion style, disabled text kept readable: what
// the window uses when the desktop asks for dark colours.
QPalette DarkPalette();

// True when the desktop asks for dark colours: GTK_THEME names a dark
// variant ("Adwaita:dark").
bool DesktopPrefersDark();

// A dialog's line that says why OK is refused, in red, hidden until it has
// something to say.
QLabel* MakeProblemLabel(QWidget* dialog);

// The description a failure is reported with: a run-time error's own, and
// for anything else the invalid-argument error's followed by what it says.
std::string FailureDescription(std::exception_ptr failure);

// Twips (1/1440 inch) to pixels at 96 dots per inch, rounded.
constexpr int TwipsToPixels(int twips)
{
    return (twips + 7) / 15;
}

} // namespace tollamere
