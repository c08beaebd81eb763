// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/Com.h"

#include <QString>

#include <memory>

namespace lumitray {

class ControlSite;
class Lumitray;

/// Creates `Lumitray` controls. One factory object serves the process; a
/// host gets it from `DllGetClassObject` or calls `CreateControl`.
class ClassFactory final {
public:
    static ClassFactory& instance();

    /// Creates a control on `site` (not yet initialised: the host then calls
    /// `initNew` or `readProperties`).
    HResult createInstance(ControlSite* site, std::unique_ptr<Lumitray>* control);
    /// Keeps the library loaded while `lock` calls outnumber unlocks.
    void lockServer(bool lock);
    int locks() const;

private:
    int m_locks = 0;
};

/// Creates the control registered under `progId` ("LumitrayControl.Lumitray").
/// Returns REGDB_E_CLASSNOTREG for any other ProgID, E_POINTER for a null
/// site or output.
HResult CreateControl(const QString& progId, ControlSite* site, std::unique_ptr<Lumitray>* control);

/// The per-user registry file that `DllRegisterServer` writes:
/// $XDG_CONFIG_HOME/lumitray/registry.ini (default ~/.config).
QString RegistryFilePath();

} // namespace lumitray

extern "C" {
/// Writes the class, its ProgID and the type library to the registry file.
/// S_OK, or SELFREG_E_CLASS when the file cannot be written.
__attribute__((visibility("default"))) std::int32_t DllRegisterServer();
/// Removes this library's entries from the registry file. S_OK, or
/// SELFREG_E_CLASS when the file cannot be written.
__attribute__((visibility("default"))) std::int32_t DllUnregisterServer();
/// Hands out the class factory (`lumitray::ClassFactory*`) for the control's
/// class id and the class-factory interface id.
__attribute__((visibility("default"))) std::int32_t DllGetClassObject(const lumitray::Guid* classId,
                                                                      const lumitray::Guid* interfaceId, void** object);
/// S_OK when no control is alive and the factory is not locked, else S_FALSE.
__attribute__((visibility("default"))) std::int32_t DllCanUnloadNow();
}
