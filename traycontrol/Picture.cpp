// SPDX-License-Identifier: MIT
#include "traycontrol/Picture.h"

#include <QFile>
#include <QImageReader>

namespace lumitray {

Picture::~Picture()
{
    IconTable::instance().destroy(m_handle);
}

std::shared_ptr<Picture> Picture::load(const QString& path, QString* error)
{
    const auto fail = [&](const QString& text) -> std::shared_ptr<Picture> {
        if (error)
            *error = text;
        return nullptr;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    const QByteArray data = file.read(64 * 1024 * 1024);
    if (data.isEmpty())
        return fail(QStringLiteral("%1: the file is empty").arg(path));
    // Icon pictures hold the standard 32 by 32 image of the file.
    if (ImageHandle icon = LoadIconData(data, 32, 32))
        return std::make_shared<Picture>(Icon, icon);
    QImage image;
    if (!image.loadFromData(data))
        return fail(QStringLiteral("%1: not a picture").arg(path));
    return fromBitmap(image);
}

std::shared_ptr<Picture> Picture::fromBitmap(const QImage& image)
{
    const ImageHandle handle = IconTable::instance().create(IconTable::Kind::Bitmap, image);
    return handle ? std::make_shared<Picture>(Bitmap, handle) : nullptr;
}

std::shared_ptr<Picture> Picture::fromIconResource(std::int32_t module, std::int32_t number)
{
    const ImageHandle handle = LoadIconResource(module, number, 32, 32);
    return handle ? std::make_shared<Picture>(Icon, handle) : nullptr;
}

QImage Picture::image() const
{
    return IconTable::instance().image(m_handle);
}

} // namespace lumitray
