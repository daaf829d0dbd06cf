// SPDX-License-Identifier: MIT
#pragma once

// The keys under which the main window keeps what the user typed and chose.

#include <QString>

namespace tollamere {

const QString SettingsGroup = QStringLiteral("Vessanthe");
const QString KeyLightAngle = QStringLiteral("txtLightAngle");
const QString KeyLightElevation = QStringLiteral("txtLightElevation");
const QString KeyBevelSize = QStringLiteral("txtBevelSize");
const QString KeyOutputFolder = QStringLiteral("Text1");
// "1" or missing when the preview shows; anything else hides it.
const QString KeyShowPreview = QStringLiteral("ShowPreview");
// The window's place and size, "left,top,width,height", and "1" when it was
// maximized; the list's columns' widths, "file,result", once the user set them.
const QString KeyWindowGeometry = QStringLiteral("WindowGeometry");
const QString KeyWindowMaximized = QStringLiteral("WindowMaximized");
const QString KeyListColumnWidths = QStringLiteral("ListColumnWidths");
// Where each dialog opened last, so that the next one starts there.
const QString KeyAddFilesFolder = QStringLiteral("LastAddFilesFolder");
const QString KeyAddAllFolder = QStringLiteral("LastAddAllFolder");
const QString KeyBrowseOutputFolder = QStringLiteral("LastOutputFolderBrowse");

// The window's look, as a look file's text, and its name; outside the group
// above, whose keys keep their meaning.
const QString KeyCurrentLook = QStringLiteral("CurrentLook/Text");
const QString KeyCurrentLookName = QStringLiteral("CurrentLook/Name");

} // namespace tollamere
