// SPDX-License-Identifier: MIT
#pragma once

// What dropped data names: the local files and folders a drop hands to
// AddDroppedPaths.

#include <string>
#include <vector>

class QMimeData;
class QUrl;

namespace tollamere {

// The path of a local file URL as the bytes the file system knows it by. The
// percent-encoded form is decoded to bytes, not to text: a name that is not
// valid UTF-8 would otherwise come back with replacement characters and name
// some other file. A URL with a host keeps it in front, as "//host/path".
std::string LocalPathBytes(const QUrl& url);

// The local files and folders that dropped data names, in drop order; URLs of
// other schemes are left out.
std::vector<std::string> DroppedLocalPaths(const QMimeData* data);

} // namespace tollamere
