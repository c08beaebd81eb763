// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <map>
#include <mutex>

namespace lumitray {

/// A 32-bit icon or bitmap handle; 0 is none.
using ImageHandle = std::int32_t;

/// The process-wide table of icon and bitmap handles. A handle owns its
/// image until it is destroyed. Thread-safe.
class IconTable final {
public:
    enum class Kind { Icon, Bitmap };

    static IconTable& instance();

    /// Adds an image and returns its new handle (0 for a null image).
    ImageHandle create(Kind kind, const QImage& image);
    /// Destroys an icon handle; false when it is not a live icon.
    bool destroyIcon(ImageHandle handle);
    /// Destroys a handle of either kind; false when it is not live.
    bool destroy(ImageHandle handle);
    bool isIcon(ImageHandle handle) const;
    bool isBitmap(ImageHandle handle) const;
    /// The image behind a handle; a null image when the handle is not live.
    QImage image(ImageHandle handle) const;
    /// A new icon handle holding a copy of the icon scaled to the given
    /// size; 0 when `handle` is not a live icon.
    ImageHandle copyIcon(ImageHandle handle, int width, int height);
    /// Number of live handles, for leak checks.
    int liveCount() const;

private:
    struct Entry {
        Kind kind;
        QImage image;
    };

    mutable std::mutex m_mutex;
    std::map<ImageHandle, Entry> m_entries;
    ImageHandle m_next = 0x00020000;
};

/// The module handle of this library's own resources (its icon 101).
std::int32_t LibraryInstance();
/// Makes the Qt resource folder `prefix` (for example ":/myapp") a module
/// whose icons `LoadIconResource` finds as `prefix`/icon/<id>.ico; returns
/// the module handle.
std::int32_t RegisterResourceModule(const QString& prefix);

/// Decodes an icon file (.ico) and returns a new icon handle at the given
/// size; 0 when the file does not exist, is not an icon file or is broken.
ImageHandle LoadIconFile(const QString& path, int width, int height);
/// Decodes icon bytes in the .ico format; 0 when they are not a valid icon.
ImageHandle LoadIconData(const QByteArray& data, int width, int height);
/// Loads the icon resource `number` of `module`; 0 when there is none.
ImageHandle LoadIconResource(std::int32_t module, std::int32_t number, int width, int height);
/// Loads the icon resource named `name` ("#101" means number 101); 0 when
/// there is none.
ImageHandle LoadIconResource(std::int32_t module, const QString& name, int width, int height);

} // namespace lumitray
