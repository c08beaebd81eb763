// SPDX-License-Identifier: MIT
#include "resident/OpenDesktop.h"

#include <QByteArray>
#include <QLibraryInfo>
#include <QTranslator>

namespace tessaly {

namespace {

QtMessageHandler g_previousHandler = nullptr;

/// Keeps Qt's platform plugins quiet while they look for a display that
/// may not be there; the caller says what happened in one line.
void QuietPlatformMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (context.category && qstrncmp(context.category, "qt.qpa", 6) == 0)
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}

/// Restores QT_QPA_PLATFORM, so programs started from ours see what the user set.
class PlatformVariable final {
public:
    PlatformVariable() : m_wasSet(qEnvironmentVariableIsSet("QT_QPA_PLATFORM")), m_value(qgetenv("QT_QPA_PLATFORM")) {}
    ~PlatformVariable()
    {
        if (m_wasSet)
            qputenv("QT_QPA_PLATFORM", m_value);
        else
            qunsetenv("QT_QPA_PLATFORM");
    }
    const QByteArray& value() const { return m_value; }

private:
    bool m_wasSet;
    QByteArray m_value;
};

/// The application of a desktop that was opened: Japanese in Qt's own
/// texts, and known to the desktop by its menu entry.
void PrepareDesktopApplication(QApplication& app)
{
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.tessaly.Tessaly"));
    InstallQtJapanese(app);
}

} // namespace

std::unique_ptr<QApplication> OpenDesktop(int& argc, char** argv)
{
    PlatformVariable platform;
    QByteArray wanted = platform.value();
    if (wanted.isEmpty()) {
        const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        if (!wayland && qEnvironmentVariableIsEmpty("DISPLAY"))
            return nullptr;
        wanted = wayland ? "wayland;xcb" : "xcb";
    }
    if (wanted.split(';').contains("offscreen")) {
        auto app = std::make_unique<QApplication>(argc, argv);
        PrepareDesktopApplication(*app);
        return app;
    }

    // Qt tries the platforms in order; the last one always opens, and
    // reaching it means no display could be opened.
    qputenv("QT_QPA_PLATFORM", wanted + ";offscreen");
    g_previousHandler = qInstallMessageHandler(QuietPlatformMessages);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        app.reset();
    if (app)
        PrepareDesktopApplication(*app);
    return app;
}

bool InstallQtJapanese(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace tessaly
