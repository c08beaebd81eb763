// SPDX-License-Identifier: MIT
#include "traycontrol/IconTable.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <vector>

static void InitLumitrayResources()
{
    Q_INIT_RESOURCE(lumitray);
}

namespace lumitray {
namespace {

// Icon files larger than this are not icons a notification area could use.
constexpr qint64 MaxIconFileSize = 4 * 1024 * 1024;

std::mutex g_modulesMutex;
std::vector<QString> g_modules; // module handle n + 1 is g_modules[n]

/// True when `data` starts with a well-formed icon directory whose entries
/// all lie inside the data.
bool HasIconDirectory(const QByteArray& data)
{
    if (data.size() < 6)
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const quint16 reserved = qFromLittleEndian<quint16>(bytes);
    const quint16 type = qFromLittleEndian<quint16>(bytes + 2);
    const quint16 count = qFromLittleEndian<quint16>(bytes + 4);
    if (reserved != 0 || type != 1 || count == 0 || data.size() < 6 + 16 * count)
        return false;
    for (int i = 0; i < count; ++i) {
        const uchar* entry = bytes + 6 + 16 * i;
        const quint32 size = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        if (size == 0 || offset > static_cast<quint32>(data.size()) || size > data.size() - offset)
            return false;
    }
    return true;
}

} // namespace

IconTable& IconTable::instance()
{
    static IconTable table;
    return table;
}

ImageHandle IconTable::create(Kind kind, const QImage& image)
{
    if (image.isNull())
        return 0;
    std::lock_guard lock(m_mutex);
    ImageHandle handle = 0;
    do {
        handle = m_next;
        m_next = m_next >= 0x7FFFFFF0 ? 0x00020000 : m_next + 4;
    } while (m_entries.contains(handle));
    m_entries.emplace(handle, Entry{kind, image});
    return handle;
}

bool IconTable::destroyIcon(ImageHandle handle)
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(handle);
    if (it == m_entries.end() || it->second.kind != Kind::Icon)
        return false;
    m_entries.erase(it);
    return true;
}

bool IconTable::destroy(ImageHandle handle)
{
    std::lock_guard lock(m_mutex);
    return m_entries.erase(handle) > 0;
}

bool IconTable::isIcon(ImageHandle handle) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(handle);
    return it != m_entries.end() && it->second.kind == Kind::Icon;
}

bool IconTable::isBitmap(ImageHandle handle) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(handle);
    return it != m_entries.end() && it->second.kind == Kind::Bitmap;
}

QImage IconTable::image(ImageHandle handle) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(handle);
    return it == m_entries.end() ? QImage() : it->second.image;
}

ImageHandle IconTable::copyIcon(ImageHandle handle, int width, int height)
{
    if (!isIcon(handle))
        return 0;
    const QImage source = image(handle);
    const QImage copy = source.size() == QSize(width, height)
                            ? source.copy()
                            : source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return create(Kind::Icon, copy);
}

int IconTable::liveCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

std::int32_t LibraryInstance()
{
    static const std::int32_t module = [] {
        InitLumitrayResources();
        return RegisterResourceModule(QStringLiteral(":/lumitray"));
    }();
    return module;
}

std::int32_t RegisterResourceModule(const QString& prefix)
{
    std::lock_guard lock(g_modulesMutex);
    g_modules.push_back(prefix);
    // Module handles look like load addresses: non-zero and far apart.
    return static_cast<std::int32_t>(g_modules.size()) * 0x00100000;
}

ImageHandle LoadIconData(const QByteArray& data, int width, int height)
{
    if (!HasIconDirectory(data))
        return 0;
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    reader.setDecideFormatFromContent(false);
    // Take the image closest to the wanted size, preferring larger ones.
    QImage best;
    const int count = qMax(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        QImage candidate = reader.read();
        if (candidate.isNull())
            continue;
        const auto distance = [&](const QImage& image) {
            const int d = image.width() - width;
            return d >= 0 ? d : 10000 - d;
        };
        if (best.isNull() || distance(candidate) < distance(best))
            best = candidate;
    }
    if (best.isNull())
        return 0;
    if (best.size() != QSize(width, height))
        best = best.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return IconTable::instance().create(IconTable::Kind::Icon, best.convertToFormat(QImage::Format_ARGB32));
}

ImageHandle LoadIconFile(const QString& path, int width, int height)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > MaxIconFileSize)
        return 0;
    return LoadIconData(file.readAll(), width, height);
}

ImageHandle LoadIconResource(std::int32_t module, std::int32_t number, int width, int height)
{
    return LoadIconResource(module, QStringLiteral("#%1").arg(number), width, height);
}

ImageHandle LoadIconResource(std::int32_t module, const QString& name, int width, int height)
{
    LibraryInstance(); // makes sure the library's own resources are registered
    QString prefix;
    {
        std::lock_guard lock(g_modulesMutex);
        const std::int32_t index = module / 0x00100000 - 1;
        if (module % 0x00100000 != 0 || index < 0 || index >= static_cast<std::int32_t>(g_modules.size()))
            return 0;
        prefix = g_modules[static_cast<size_t>(index)];
    }
    QString resource = name.trimmed();
    bool numeric = false;
    if (resource.startsWith(QLatin1Char('#'))) {
        const int number = resource.mid(1).toInt(&numeric);
        if (!numeric || number <= 0 || number > 0xFFFF)
            return 0;
        resource = QString::number(number);
    } else {
        resource = resource.toUpper();
    }
    if (resource.isEmpty() || resource.contains(QLatin1Char('/')))
        return 0;
    return LoadIconFile(QStringLiteral("%1/icon/%2.ico").arg(prefix, resource), width, height);
}

} // namespace lumitray
