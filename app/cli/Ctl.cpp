// SPDX-License-Identifier: MIT
#include "cli/Ctl.h"

#include "common/Autostart.h"
#include "common/DataFolder.h"
#include "common/DataFolderLock.h"
#include "settings/BasicSettings.h"

#include <iostream>
#include <optional>

namespace tessaly {
namespace {

#ifndef TESSALY_VERSION
#define TESSALY_VERSION "0.0.0"
#endif

constexpr const char* kUsage =
    "usage: tessalyctl [--dir DIR] settings show [--json]\n"
    "       tessalyctl [--dir DIR] settings set KEY VALUE\n"
    "       tessalyctl [--dir DIR] settings set KEY -   (the value is one line of standard input)\n"
    "       tessalyctl [--dir DIR] subs show [--json]\n"
    "       tessalyctl [--dir DIR] subs set ROW FIELD VALUE\n"
    "       tessalyctl [--dir DIR] check\n"
    "       tessalyctl [--dir DIR] balloon TITLE TEXT\n"
    "       tessalyctl [--dir DIR] history [--json]\n"
    "       tessalyctl [--dir DIR] outbox [--json]      (the mails waiting to be sent)\n"
    "       tessalyctl [--dir DIR] outbox retry         (send them now)\n"
    "       tessalyctl [--dir DIR] outbox drop ID|all\n"
    "       tessalyctl [--dir DIR] mail login [--browser] (sign in by OAuth 2.0 for sending mail)\n"
    "       tessalyctl [--dir DIR] mail logout          (remove the stored sign-in)\n"
    "       tessalyctl autostart [on|off]    (start at login; alone: print on or off)\n"
    "       tessalyctl --help | --version\n";

/// What --help adds to the usage lines.
constexpr const char* kHelp = "\n"
                              "Works on the data files of Tessaly: settings (sysconfig.dat), subscriptions\n"
                              "(subscription.dat) and history, runs one check, or sets the balloon of the\n"
                              "program running on the same data folder.\n"
                              "\n"
                              "  --dir DIR   the data folder; without it: $TESSALY_DIR when set, else the\n"
                              "              dir= line of ~/.config/tessaly/tessaly.conf (in\n"
                              "              $XDG_CONFIG_HOME when set), else the folder of the executable\n"
                              "              when it holds sysconfig.dat or subscription.dat, else\n"
                              "              $XDG_DATA_HOME/tessaly, ~/.local/share/tessaly. The commands\n"
                              "              that only read (show, history, outbox, balloon) never make it.\n"
                              "  --json      show settings, subscriptions or history as JSON\n"
                              "  --help      print this text and end\n"
                              "  --version   print the version and end\n"
                              "\n"
                              "ROW is 1 to 10; FIELD is Name, Keyword, Folder, FileName, Subfolders, MailTo\n"
                              "or LastCheck. KEY is one of the settings:\n";

constexpr const char* kHelpEnd = "Exit status: 0 done, 1 the operation failed, 2 wrong usage. See tessalyctl(1).\n";

/// The help text, with every setting key the program knows (bash
/// completion reads them from here).
std::string HelpText()
{
    std::string text = std::string(kUsage) + kHelp;
    std::string line = " ";
    for (const BasicSettingField& field : BasicSettingFields()) {
        if (line.size() + 1 + field.key.size() > 80) {
            text += line + "\n";
            line.assign(1, ' ');
        }
        line += " ";
        line += field.key;
    }
    return text + line + "\n" + kHelpEnd;
}

int Usage(std::ostream& err, const std::string& reason)
{
    err << "tessalyctl: " << reason << '\n' << kUsage;
    return kCtlUsage;
}

struct ParsedLine {
    std::optional<std::string> dir;
    bool json = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> words;
};

/// Separates the options from the command words. "--" ends the options, so
/// a value that begins with "--" can still be set.
std::optional<std::string> Parse(const std::vector<std::string>& args, ParsedLine* line)
{
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--dir") {
            if (i + 1 >= args.size())
                return "--dir needs a folder";
            line->dir = args[++i];
        } else if (options && arg.rfind("--dir=", 0) == 0) {
            line->dir = arg.substr(6);
        } else if (options && arg == "--json") {
            line->json = true;
        } else if (options && (arg == "--help" || arg == "-h")) {
            line->help = true;
        } else if (options && arg == "--version") {
            line->version = true;
        } else if (options && arg.size() > 1 && arg[0] == '-' && line->words.size() < 2) {
            return "unknown option " + arg;
        } else {
            line->words.push_back(arg);
        }
    }
    return std::nullopt;
}

using Words = std::vector<std::string>;

/// What a command needs of the data folder.
enum class FolderUse {
    Write,  ///< made when missing
    Read,   ///< must exist: a mistyped folder is reported, not made
    Unused, ///< the command works elsewhere
};

/// One command: its words, how many words it takes in all, its runner and
/// its use of the data folder.
struct Command {
    const char* first;
    const char* second; ///< nullptr for a one-word command
    size_t words;
    int (*run)(CtlContext&, const Words&);
    FolderUse use;
};

/// tessalyctl autostart [on|off]: the user's autostart entry.
int RunAutostart(CtlContext& context, const char* wanted)
{
    const std::string path = AutostartEntryPath();
    std::string error;
    if (!wanted) {
        const std::optional<bool> on = AutostartEnabled(path, &error);
        if (!on) {
            context.err << "tessalyctl: " << error << '\n';
            return kCtlFailed;
        }
        context.out << (*on ? "on\n" : "off\n");
        return kCtlOk;
    }
    const bool on = std::string_view(wanted) == "on";
    if (!SetAutostart(path, on, &error)) {
        context.err << "tessalyctl: autostart could not be turned " << wanted << ": " << error << '\n';
        return kCtlFailed;
    }
    return kCtlOk;
}

const Command kCommands[] = {
    {"settings", "show", 2, [](CtlContext& c, const Words&) { return RunSettingsShow(c); }, FolderUse::Read},
    {"settings", "set", 4, [](CtlContext& c, const Words& w) { return RunSettingsSet(c, w[2], w[3]); },
     FolderUse::Write},
    {"subs", "show", 2, [](CtlContext& c, const Words&) { return RunSubsShow(c); }, FolderUse::Read},
    {"subs", "set", 5, [](CtlContext& c, const Words& w) { return RunSubsSet(c, w[2], w[3], w[4]); }, FolderUse::Write},
    {"history", nullptr, 1, [](CtlContext& c, const Words&) { return RunHistory(c); }, FolderUse::Read},
    {"check", nullptr, 1, [](CtlContext& c, const Words&) { return RunCheck(c); }, FolderUse::Write},
    {"balloon", nullptr, 3, [](CtlContext& c, const Words& w) { return RunBalloon(c, w[1], w[2]); }, FolderUse::Read},
    {"outbox", nullptr, 1, [](CtlContext& c, const Words&) { return RunOutboxShow(c); }, FolderUse::Read},
    {"outbox", "retry", 2, [](CtlContext& c, const Words&) { return RunOutboxRetry(c); }, FolderUse::Write},
    {"outbox", "drop", 3, [](CtlContext& c, const Words& w) { return RunOutboxDrop(c, w[2]); }, FolderUse::Write},
    {"mail", "login", 2, [](CtlContext& c, const Words&) { return RunMailLogin(c, false); }, FolderUse::Write},
    {"mail", "login", 3,
     [](CtlContext& c, const Words& w) {
         return w[2] == "--browser" ? RunMailLogin(c, true) : Usage(c.err, "mail login takes only --browser");
     },
     FolderUse::Write},
    {"mail", "logout", 2, [](CtlContext& c, const Words&) { return RunMailLogout(c); }, FolderUse::Write},
    {"autostart", nullptr, 1, [](CtlContext& c, const Words&) { return RunAutostart(c, nullptr); }, FolderUse::Unused},
    {"autostart", "on", 2, [](CtlContext& c, const Words&) { return RunAutostart(c, "on"); }, FolderUse::Unused},
    {"autostart", "off", 2, [](CtlContext& c, const Words&) { return RunAutostart(c, "off"); }, FolderUse::Unused},
};

const Command* FindCommand(const Words& w)
{
    for (const Command& command : kCommands) {
        if (w.size() == command.words && w[0] == command.first && (!command.second || w[1] == command.second))
            return &command;
    }
    return nullptr;
}

} // namespace

int LockNotTaken(CtlContext& context, const DataFolderLock& lock, const std::string& error, const char* done)
{
    if (lock.trust() != DataFolderTrust::Trusted)
        context.err << "tessalyctl: " << DataFolderRefusalReason(lock.trust(), context.folder) << "; nothing was "
                    << done << '\n';
    else
        context.err << "tessalyctl: the data folder is busy, nothing was " << done << ": " << error << '\n';
    return kCtlFailed;
}

int RunCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream* in)
{
    ParsedLine line;
    if (auto problem = Parse(args, &line))
        return Usage(err, *problem);
    if (line.help || line.version) {
        out << (line.help ? HelpText() : std::string("tessalyctl ") + TESSALY_VERSION + "\n");
        return kCtlOk;
    }
    // Wrong usage must not create a data folder as a side effect.
    const Command* command = FindCommand(line.words);
    if (!command)
        return Usage(err, line.words.empty() ? "no command given" : "unknown command or wrong arguments");
    std::istream& input = in ? *in : std::cin;
    if (command->use == FolderUse::Unused) {
        CtlContext context{{}, line.json, out, err, input};
        return command->run(context, line.words);
    }
    std::string error;
    const bool reads = command->use == FolderUse::Read;
    std::optional<std::string> folder =
        ResolveDataFolder(CurrentDataFolderInputs(line.dir), &error,
                          reads ? DataFolderCreation::MustExist : DataFolderCreation::CreateMissing);
    if (!folder) {
        err << "tessalyctl: " << error << (reads ? "; nothing was read" : "") << '\n';
        return kCtlFailed;
    }
    // Data files in a folder someone else can change are not to be trusted.
    if (const DataFolderTrust trust = CheckDataFolderTrust(*folder); trust != DataFolderTrust::Trusted) {
        err << "tessalyctl: " << DataFolderRefusalReason(trust, *folder) << '\n';
        return kCtlFailed;
    }
    CtlContext context{*folder, line.json, out, err, input};
    return command->run(context, line.words);
}

} // namespace tessaly
