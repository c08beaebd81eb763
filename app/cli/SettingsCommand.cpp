// SPDX-License-Identifier: MIT
// tessalyctl settings show | settings set KEY VALUE | settings set KEY -
#include "cli/Ctl.h"

#include "common/Cp932.h"
#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "common/Json.h"
#include "settings/BasicSettings.h"
#include "settings/CheckedSettings.h"
#include "settings/GsxSeq.h"

#include <iostream>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace tessaly {
namespace {

/// The value as shown: the client secret is never printed, only whether
/// there is one.
std::string Shown(const BasicSettings& settings, const BasicSettingField& field)
{
    std::string value = BasicSettingText(settings, field);
    return field.text == &BasicSettings::Conf_OAuthSecret && !value.empty() ? "********" : value;
}

void PrintSettings(const BasicSettings& settings, CtlContext& context)
{
    if (!context.json) {
        for (const BasicSettingField& field : BasicSettingFields())
            context.out << field.label << Shown(settings, field) << '\n';
        return;
    }
    context.out << "{";
    const char* separator = "\n  ";
    for (const BasicSettingField& field : BasicSettingFields()) {
        context.out << separator << JsonQuote(field.key) << ": ";
        if (field.flag)
            context.out << settings.*field.flag;
        else
            context.out << JsonQuote(Shown(settings, field));
        separator = ",\n  ";
    }
    context.out << "\n}\n";
}

/// Why `value` cannot be stored in `field`, or "" when it can.
std::string ValueProblem(const BasicSettingField& field, const std::string& value)
{
    if (std::string reason = SettingValueProblem(field.key, value); !reason.empty())
        return SettingProblem{field.key, value, reason, ""}.text();
    if (field.text && !IsCp932Representable(value))
        return "the value has characters that Shift-JIS cannot store";
    if (field.label.size() + Utf8ToCp932(value).size() > GsxSeq::kMaxRecordBytes)
        return "the value is too long";
    return {};
}

/// Keeps what is typed off the screen while it lives, when standard input
/// is a terminal: the value may be a password.
class HiddenTyping final {
public:
    explicit HiddenTyping(bool terminal)
    {
        if (!terminal || ::tcgetattr(STDIN_FILENO, &m_saved) != 0)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        m_hidden = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~HiddenTyping()
    {
        if (m_hidden)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    HiddenTyping(const HiddenTyping&) = delete;
    HiddenTyping& operator=(const HiddenTyping&) = delete;
    bool hidden() const { return m_hidden; }

private:
    termios m_saved{};
    bool m_hidden = false;
};

/// One line of `in`, without its line end (LF or CR LF); nothing when the
/// input ends before anything was read.
std::optional<std::string> ReadValueLine(CtlContext& context, const std::string& key)
{
    const bool terminal = &context.in == &std::cin && ::isatty(STDIN_FILENO);
    if (terminal)
        context.err << key << ": " << std::flush;
    std::string line;
    bool got = false;
    {
        HiddenTyping hidden(terminal);
        got = static_cast<bool>(std::getline(context.in, line)) || !line.empty();
        if (hidden.hidden())
            context.err << '\n';
    }
    if (!got)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

/// LoadBasicSettings, refusing first a settings file that is not a regular
/// file (a FIFO there would hold the reader forever). `held`: the data
/// folder's lock, when the caller holds it.
bool LoadSettings(BasicSettings& settings, const std::string& folder, std::string* error,
                  const DataFolderLock* held = nullptr)
{
    const std::string path = JoinPath(folder, kSettingsFileName);
    if (!IsRegularOrMissing(path, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return held ? LoadBasicSettings(settings, folder, *held, error) : LoadBasicSettings(settings, folder, error);
}

} // namespace

int RunSettingsShow(CtlContext& context)
{
    BasicSettings settings;
    std::string error;
    // Showing writes nothing: a folder without settings shows what its
    // first settings file will hold.
    bool loaded = true;
    if (!FileHasContent(JoinPath(context.folder, kSettingsFileName)) &&
        IsRegularOrMissing(JoinPath(context.folder, kSettingsFileName), nullptr))
        settings = FreshBasicSettings();
    else
        loaded = LoadSettings(settings, context.folder, &error);
    PrintSettings(settings, context);
    // A value that cannot work is shown as it is, and told.
    std::vector<SettingProblem> problems;
    ReadCheckedSettings(settings, &problems);
    for (const SettingProblem& problem : problems)
        context.err << "tessalyctl: " << problem.text() << '\n';
    if (IsOn(settings.Conf_Mail))
        if (std::string problem = OAuthSettingsProblem(settings); !problem.empty())
            context.err << "tessalyctl: " << problem << '\n';
    if (!loaded) {
        context.err << "tessalyctl: the settings could not be loaded completely: " << error << '\n';
        return kCtlFailed;
    }
    return kCtlOk;
}

int RunSettingsSet(CtlContext& context, const std::string& key, const std::string& given)
{
    const BasicSettingField* field = FindBasicSetting(key);
    if (!field) {
        context.err << "tessalyctl: unknown setting " << key << " (the keys are the Conf_* names)\n";
        return kCtlUsage;
    }
    // "-" takes the value from standard input, so that a password never
    // shows in the list of processes.
    std::string value = given;
    if (given == kValueFromInput) {
        std::optional<std::string> line = ReadValueLine(context, key);
        if (!line) {
            context.err << "tessalyctl: no value on standard input; nothing was saved\n";
            return kCtlUsage;
        }
        value = std::move(*line);
    }
    if (std::string problem = ValueProblem(*field, value); !problem.empty()) {
        context.err << "tessalyctl: " << problem << '\n';
        return kCtlUsage;
    }
    std::string error;
    DataFolderLock lock = DataFolderLock::Acquire(context.folder, kCtlLockWaitSeconds, &error);
    if (!lock.held())
        return LockNotTaken(context, lock, error, "saved");
    BasicSettings settings;
    if (!LoadSettings(settings, context.folder, &error, &lock)) {
        context.err << "tessalyctl: the settings could not be loaded completely, nothing was saved: " << error << '\n';
        return kCtlFailed;
    }
    const std::string before = OAuthSettingsProblem(settings);
    SetBasicSetting(settings, *field, value);
    // A change that leaves the sign-in unusable is refused; one that only
    // keeps an earlier gap is not (the other value may be set next).
    if (std::string problem = OAuthSettingsProblem(settings); !problem.empty() && problem != before) {
        context.err << "tessalyctl: " << problem << " Nothing was saved.\n";
        return kCtlUsage;
    }
    std::string notice;
    if (!SaveBasicSettings(settings, context.folder, &error, &notice)) {
        context.err << "tessalyctl: the settings could not be saved: " << error << '\n';
        return kCtlFailed;
    }
    if (!notice.empty())
        context.out << notice << '\n';
    return kCtlOk;
}

} // namespace tessaly
