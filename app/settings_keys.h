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
// "1" when the preview shows; missing or anything else keeps the window at its design size.
const QString KeyShowPreview = QStringLiteral("ShowPreview");
// Where each dialog opened last, so that the next one starts there.
const QString KeyAddFilesFolder = QStringLiteral("LastAddFilesFolder");
const QString KeyAddAllFolder = QStringLiteral("LastAddAllFolder");
const QString KeyBrowseOutputFolder = QStringLiteral("LastOutputFolderBrowse");

// The window's look, as a look file's text, and its name; outside the group
// above, whose keys keep their meaning.
const QString KeyCurrentLook = QStringLiteral("CurrentLook/Text");
const QString KeyCurrentLookName = QStringLiteral("CurrentLook/Name");

} // namespace tollamere
