// SPDX-License-Identifier: MIT
#include "traycontrol/ClassFactory.h"

#include "traycontrol/Lumitray.h"
#include "traycontrol/TypeInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <dlfcn.h>

namespace lumitray {
namespace {

QString LibraryFilePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
    return QString();
}

QString ClassGroup()
{
    return QStringLiteral("CLSID ") + Identity::ClassId.toString();
}

QString ProgIdGroup()
{
    return QStringLiteral("ProgID ") + QString::fromLatin1(Identity::ProgId);
}

QString TypeLibraryGroup()
{
    return QStringLiteral("TypeLib ") + Identity::LibraryId.toString();
}

} // namespace

ClassFactory& ClassFactory::instance()
{
    static ClassFactory factory;
    return factory;
}

HResult ClassFactory::createInstance(ControlSite* site, std::unique_ptr<Lumitray>* control)
{
    if (!site || !control)
        return E_POINTER;
    *control = std::make_unique<Lumitray>(site);
    return S_OK;
}

void ClassFactory::lockServer(bool lock)
{
    m_locks += lock ? 1 : (m_locks > 0 ? -1 : 0);
}

int ClassFactory::locks() const
{
    return m_locks;
}

HResult CreateControl(const QString& progId, ControlSite* site, std::unique_ptr<Lumitray>* control)
{
    if (progId.compare(QLatin1String(Identity::ProgId), Qt::CaseInsensitive) != 0)
        return REGDB_E_CLASSNOTREG;
    return ClassFactory::instance().createInstance(site, control);
}

QString RegistryFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/lumitray/registry.ini");
}

} // namespace lumitray

using namespace lumitray;

std::int32_t DllRegisterServer()
{
    const QString path = RegistryFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return SELFREG_E_CLASS;
    QSettings registry(path, QSettings::IniFormat);
    const QString classId = Identity::ClassId.toString();
    registry.setValue(ProgIdGroup() + QStringLiteral("/CLSID"), classId);
    registry.setValue(ClassGroup() + QStringLiteral("/ProgID"), QString::fromLatin1(Identity::ProgId));
    registry.setValue(ClassGroup() + QStringLiteral("/Name"), QStringLiteral("Lumitray"));
    registry.setValue(ClassGroup() + QStringLiteral("/InprocServer"), LibraryFilePath());
    registry.setValue(ClassGroup() + QStringLiteral("/TypeLib"), Identity::LibraryId.toString());
    registry.setValue(TypeLibraryGroup() + QStringLiteral("/Name"), QString::fromLatin1(Identity::TypeLibraryName));
    registry.setValue(TypeLibraryGroup() + QStringLiteral("/HelpString"),
                      QString::fromLatin1(Identity::TypeLibraryHelp));
    registry.setValue(TypeLibraryGroup() + QStringLiteral("/Version"),
                      QStringLiteral("%1.%2").arg(Identity::TypeLibraryMajor).arg(Identity::TypeLibraryMinor));
    registry.setValue(TypeLibraryGroup() + QStringLiteral("/Locale"), QString::number(Identity::TypeLibraryLocale, 16));
    registry.sync();
    return registry.status() == QSettings::NoError ? S_OK : SELFREG_E_CLASS;
}

std::int32_t DllUnregisterServer()
{
    const QString path = RegistryFilePath();
    if (!QFileInfo::exists(path))
        return S_OK;
    QSettings registry(path, QSettings::IniFormat);
    registry.remove(ProgIdGroup());
    registry.remove(ClassGroup());
    registry.remove(TypeLibraryGroup());
    registry.sync();
    return registry.status() == QSettings::NoError ? S_OK : SELFREG_E_CLASS;
}

std::int32_t DllGetClassObject(const Guid* classId, const Guid* interfaceId, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!classId || !interfaceId)
        return E_INVALIDARG;
    if (*classId != Identity::ClassId)
        return CLASS_E_CLASSNOTAVAILABLE;
    if (*interfaceId != Identity::ClassFactoryId)
        return E_NOINTERFACE;
    *object = &ClassFactory::instance();
    return S_OK;
}

std::int32_t DllCanUnloadNow()
{
    return Lumitray::liveObjects() == 0 && ClassFactory::instance().locks() == 0 ? S_OK : S_FALSE;
}
