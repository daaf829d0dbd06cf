// SPDX-License-Identifier: MIT
#include "dropped_paths.h"

#include <QByteArray>
#include <QMimeData>
#include <QUrl>

namespace tollamere {

std::string LocalPathBytes(const QUrl& url)
{
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    std::string bytes;
    const QString host = url.host(QUrl::FullyEncoded);
    if (!host.isEmpty()) {
        bytes = "//" + host.toStdString();
        if (!path.startsWith('/'))
            bytes += '/';
    }
    bytes.append(path.constData(), static_cast<std::size_t>(path.size()));
    return bytes;
}

std::vector<std::string> DroppedLocalPaths(const QMimeData* data)
{
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.push_back(LocalPathBytes(url));
    }
    return paths;
}

} // namespace tollamere
