// SPDX-License-Identifier: MIT
// tessalyctl settings show | settings set KEY VALUE
#include "cli/Ctl.h"

#include "common/Cp932.h"
#include "common/Json.h"
#include "settings/BasicSettings.h"
#include "settings/GsxSeq.h"

namespace tessaly {
namespace {

void PrintSettings(const BasicSettings& settings, CtlContext& context)
{
    if (!context.json) {
        for (const BasicSettingField& field : BasicSettingFields())
            context.out << field.label << BasicSettingText(settings, field) << '\n';
        return;
    }
    context.out << "{";
    const char* separator = "\n  ";
    for (const BasicSettingField& field : BasicSettingFields()) {
        context.out << separator << JsonQuote(field.key) << ": ";
        if (field.flag)
            context.out << settings.*field.flag;
        else
            context.out << JsonQuote(settings.*field.text);
        separator = ",\n  ";
    }
    context.out << "\n}\n";
}

/// Why `value` cannot be stored in `field`, or "" when it can.
std::string ValueProblem(const BasicSettingField& field, const std::string& value)
{
    BasicSettings probe;
    if (!SetBasicSetting(probe, field, value))
        return std::string(field.key) + " takes a number from -32768 to 32767, not \"" + value + "\"";
    if (field.text && !IsCp932Representable(value))
        return "the value has characters that Shift-JIS cannot store";
    if (field.label.size() + Utf8ToCp932(value).size() > GsxSeq::kMaxRecordBytes)
        return "the value is too long";
    return {};
}

} // namespace

int RunSettingsShow(CtlContext& context)
{
    BasicSettings settings;
    std::string error;
    bool loaded = LoadBasicSettings(settings, context.folder, &error);
    PrintSettings(settings, context);
    if (!loaded) {
        context.err << "tessalyctl: the settings could not be loaded completely: " << error << '\n';
        return kCtlFailed;
    }
    return kCtlOk;
}

int RunSettingsSet(CtlContext& context, const std::string& key, const std::string& value)
{
    const BasicSettingField* field = FindBasicSetting(key);
    if (!field) {
        context.err << "tessalyctl: unknown setting " << key << " (the keys are the Conf_* names)\n";
        return kCtlUsage;
    }
    if (std::string problem = ValueProblem(*field, value); !problem.empty()) {
        context.err << "tessalyctl: " << problem << '\n';
        return kCtlUsage;
    }
    BasicSettings settings;
    std::string error;
    if (!LoadBasicSettings(settings, context.folder, &error)) {
        context.err << "tessalyctl: the settings could not be loaded completely, nothing was saved: " << error
                    << '\n';
        return kCtlFailed;
    }
    SetBasicSetting(settings, *field, value);
    if (!SaveBasicSettings(settings, context.folder, &error)) {
        context.err << "tessalyctl: the settings could not be saved: " << error << '\n';
        return kCtlFailed;
    }
    return kCtlOk;
}

} // namespace tessaly
