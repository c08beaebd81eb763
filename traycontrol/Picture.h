// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/IconTable.h"

#include <QString>

#include <memory>

namespace lumitray {

/// A picture object as hosts pass it to the `Icon` property: an icon or a
/// bitmap that owns one image handle and frees it when the last reference
/// goes away.
class Picture final {
public:
    /// Picture types as hosts see them.
    enum Type : std::int16_t { None = 0, Bitmap = 1, Metafile = 2, Icon = 3 };

    /// Takes ownership of `handle` (of the given type).
    Picture(Type type, ImageHandle handle) : m_type(type), m_handle(handle) {}
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    /// Loads an icon (.ico) or a bitmap (any image format Qt reads) from a
    /// file (icons at 32 by 32 pixels). Returns nullptr and sets `error` when the file
    /// is missing, empty or not a picture.
    static std::shared_ptr<Picture> load(const QString& path, QString* error = nullptr);
    /// Wraps an image as a bitmap picture.
    static std::shared_ptr<Picture> fromBitmap(const QImage& image);
    /// The icon resource `number` of `module`, as an icon picture; nullptr
    /// when the resource does not exist.
    static std::shared_ptr<Picture> fromIconResource(std::int32_t module, std::int32_t number);

    Type type() const { return m_type; }
    /// The owned icon or bitmap handle.
    ImageHandle handle() const { return m_handle; }
    /// The image behind the handle (null when it was freed elsewhere).
    QImage image() const;

private:
    Type m_type;
    ImageHandle m_handle;
};

} // namespace lumitray
