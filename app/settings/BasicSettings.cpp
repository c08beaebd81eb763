// SPDX-License-Identifier: MIT
#include "settings/BasicSettings.h"

#include "common/Cp932.h"
#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "common/NumericText.h"
#include "common/SecretStore.h"
#include "settings/GsxSeq.h"

namespace tessaly {
namespace {

constexpr size_t kLabelLength = 20;

#define FLAG(name, label)                                                                                              \
    BasicSettingField                                                                                                  \
    {                                                                                                                  \
#name, label, &BasicSettings::name, nullptr                                                                    \
    }
#define TEXT(name, label)                                                                                              \
    BasicSettingField                                                                                                  \
    {                                                                                                                  \
#name, label, nullptr, &BasicSettings::name                                                                    \
    }

const std::array<BasicSettingField, kBasicSettingCount> kFields = {{
    FLAG(Conf_Passwd, "Conf_Passwd        ="),
    TEXT(Conf_PasswdTxt, "Conf_PasswdTxt     ="),
    FLAG(Conf_Balloon, "Conf_Balloon       ="),
    FLAG(Conf_Mail, "Conf_Mail          ="),
    TEXT(Conf_SmtpSrv, "Conf_SmtpSrv       ="),
    TEXT(Conf_SmtpPort, "Conf_SmtpPort      ="),
    TEXT(Conf_PopSrv, "Conf_PopSrv        ="),
    TEXT(Conf_PopPort, "Conf_PopPort       ="),
    TEXT(Conf_PopUser, "Conf_PopUser       ="),
    TEXT(Conf_PopPasswd, "Conf_PopPasswd     ="),
    TEXT(Conf_SmtpName, "Conf_SmtpName      ="),
    TEXT(Conf_SmtpAddr, "Conf_SmtpAddr      ="),
    FLAG(Conf_PopBeforeSMTP, "Conf_PopBeforeSMTP ="),
    FLAG(Conf_SmtpAuth, "Conf_SmtpAuth      ="),
    FLAG(Conf_SmtpAuthMD5, "Conf_SmtpAuthMD5   ="),
    TEXT(Conf_SmtpAuthUser, "Conf_SmtpAuthUser  ="),
    TEXT(Conf_SmtpAuthPasswd, "Conf_SmtpAuthPasswd="),
    FLAG(Conf_MailAdd, "Conf_MailAdd       ="),
    FLAG(Conf_zip, "Conf_zip           ="),
    TEXT(Conf_zipPasswd, "Conf_zipPasswd     ="),
    TEXT(Conf_MaxSize, "Conf_MaxSize       ="),
    TEXT(Conf_Interval, "Conf_Interval      ="),
    FLAG(Conf_Instant, "Conf_Instant       ="),
    TEXT(Conf_Settle, "Conf_Settle        ="),
    FLAG(Conf_MailAuth, "Conf_MailAuth      ="),
    TEXT(Conf_OAuthClient, "Conf_OAuthClient   ="),
    TEXT(Conf_OAuthTenant, "Conf_OAuthTenant   ="),
    TEXT(Conf_OAuthTokenUrl, "Conf_OAuthTokenUrl ="),
    TEXT(Conf_OAuthDeviceUrl, "Conf_OAuthDeviceUrl="),
    TEXT(Conf_OAuthScope, "Conf_OAuthScope    ="),
    TEXT(Conf_OAuthAuthUrl, "Conf_OAuthAuthUrl  ="),
    TEXT(Conf_OAuthSecret, "Conf_OAuthSecret   ="),
    FLAG(Conf_OAuthBearer, "Conf_OAuthBearer   ="),
    FLAG(Conf_KeyringPasswd, "Conf_KeyringPasswd ="),
}};

#undef FLAG
#undef TEXT

/// Writes every field of `settings` as the labelled records of a new
/// settings file at `path`.
bool WriteSettingsFile(const BasicSettings& settings, const std::string& path, std::string* error)
{
    GsxSeq seq;
    seq.MakeKeyTable();
    bool ok = seq.CreateSeqFile(path);
    for (const BasicSettingField& field : kFields) {
        if (!ok)
            break;
        ok = seq.PutSeqString(std::string(field.label) + BasicSettingText(settings, field));
    }
    ok = ok && seq.CloseSeqFile();
    if (!ok && error)
        *error = seq.error();
    return ok;
}

/// Applies one record. False when it matched a flag label whose value is
/// not a number.
bool ApplyRecord(BasicSettings& settings, const std::string& record, std::string* error)
{
    if (record.size() < kLabelLength)
        return true;
    std::string_view label(record.data(), kLabelLength);
    for (const BasicSettingField& field : kFields) {
        if (field.label != label)
            continue;
        std::string_view value = std::string_view(record).substr(kLabelLength);
        if (SetBasicSetting(settings, field, value))
            return true;
        if (error)
            *error = "the value of " + std::string(field.key) + " is not a number: " + std::string(value);
        return false;
    }
    return true;
}

/// The passwords Conf_KeyringPasswd keeps in the keyring, by kind.
struct KeyringPassword {
    std::string_view kind;
    std::string BasicSettings::*password;
    std::string BasicSettings::*account;
};
constexpr KeyringPassword kKeyringPasswords[] = {
    {kSecretSmtpPassword, &BasicSettings::Conf_SmtpAuthPasswd, &BasicSettings::Conf_SmtpAuthUser},
    {kSecretPopPassword, &BasicSettings::Conf_PopPasswd, &BasicSettings::Conf_PopUser},
    {kSecretZipPassword, &BasicSettings::Conf_zipPasswd, nullptr},
    {kSecretOAuthClientSecret, &BasicSettings::Conf_OAuthSecret, &BasicSettings::Conf_OAuthClient},
};

/// The passwords whose records are empty, from the keyring. One it cannot
/// give stays empty: the login that needs it fails and says so.
void ReadKeyringPasswords(BasicSettings& settings, const std::string& folder)
{
    if (!IsOn(settings.Conf_KeyringPasswd))
        return;
    for (const KeyringPassword& entry : kKeyringPasswords) {
        std::string why;
        if ((settings.*entry.password).empty())
            LookupSecret(folder, entry.kind, &(settings.*entry.password), &why);
    }
}

/// Moves the passwords of `settings` into the keyring, leaving their
/// records empty; those the keyring cannot take stay, and `notice` says so.
/// An empty password leaves the keyring's copy alone: it is what a load
/// gives when the keyring did not answer then, and removing the copy on
/// the next save would lose the password.
void WriteKeyringPasswords(BasicSettings& settings, const std::string& folder, std::string* notice)
{
    if (!IsOn(settings.Conf_KeyringPasswd))
        return;
    for (const KeyringPassword& entry : kKeyringPasswords) {
        std::string& password = settings.*entry.password;
        std::string why;
        if (password.empty())
            continue;
        if (StoreSecret(folder, entry.kind, entry.account ? settings.*entry.account : std::string(), password, &why) ==
            SecretResult::Done) {
            password.clear();
        } else if (notice && notice->empty()) {
            *notice = SecretsInFileMessage(JoinPath(folder, kSettingsFileName), why);
        }
    }
}

/// Reads the records of the settings file of `folder` into `settings`.
bool ReadSettingsFile(BasicSettings& settings, const std::string& folder, std::string* error)
{
    const std::string path = JoinPath(folder, kSettingsFileName);
    GsxSeq seq;
    int opened = seq.OpenSeqFile(path);
    if (opened != GsxSeq::kOpened) {
        if (error)
            *error = opened == GsxSeq::kFailed ? seq.error() : path + " is not a settings file";
        return false;
    }
    std::string record;
    for (;;) {
        int status = seq.GetSeqString(&record);
        if (status == GsxSeq::kEnd) {
            ReadKeyringPasswords(settings, folder);
            return true;
        }
        if (status == GsxSeq::kFailed) {
            if (error)
                *error = seq.error();
            return false;
        }
        // Unknown tags and bad rows are passed over; the bytes after them
        // are read as the next record.
        if (status == GsxSeq::kRecord && !ApplyRecord(settings, record, error))
            return false;
    }
}

} // namespace

const std::array<BasicSettingField, kBasicSettingCount>& BasicSettingFields()
{
    return kFields;
}

const BasicSettingField* FindBasicSetting(std::string_view key)
{
    for (const BasicSettingField& field : kFields) {
        if (field.key == key)
            return &field;
    }
    return nullptr;
}

std::string_view BasicSettingKey(std::string BasicSettings::*text)
{
    for (const BasicSettingField& field : kFields) {
        if (field.text == text)
            return field.key;
    }
    return {};
}

std::string BasicSettingText(const BasicSettings& settings, const BasicSettingField& field)
{
    return field.flag ? std::to_string(settings.*field.flag) : settings.*field.text;
}

bool SetBasicSetting(BasicSettings& settings, const BasicSettingField& field, std::string_view value)
{
    if (field.text) {
        settings.*field.text = std::string(value);
        return true;
    }
    std::optional<int16_t> number = ParseInt16(value);
    if (!number)
        return false;
    settings.*field.flag = *number;
    return true;
}

bool UsesOAuth(const BasicSettings& settings)
{
    return IsOn(settings.Conf_SmtpAuth) && settings.Conf_MailAuth >= kMailAuthMicrosoft &&
           settings.Conf_MailAuth <= kMailAuthOther;
}

BasicSettings FreshBasicSettings()
{
    BasicSettings settings;
    settings.Conf_Balloon = 1;
    settings.Conf_Interval = "10";
    return settings;
}

void ResetBasicSettings(BasicSettings& settings)
{
    settings = BasicSettings{};
}

bool LoadBasicSettings(BasicSettings& settings, const std::string& folder, std::string* error)
{
    const std::string path = JoinPath(folder, kSettingsFileName);
    if (FileHasContent(path))
        return ReadSettingsFile(settings, folder, error);
    // A save of another program may be under way: the new file is written
    // under the lock, and only when that save has not made one.
    std::string why;
    const DataFolderLock lock = DataFolderLock::Acquire(folder, kFirstSettingsWaitSeconds, &why);
    if (lock.held())
        return LoadBasicSettings(settings, folder, lock, error);
    if (why != kDataFolderBusy) {
        if (error)
            *error = why;
        return false;
    }
    if (FileHasContent(path))
        return ReadSettingsFile(settings, folder, error);
    settings = FreshBasicSettings();
    return true;
}

bool LoadBasicSettings(BasicSettings& settings, const std::string& folder, const DataFolderLock& held,
                       std::string* error)
{
    const std::string path = JoinPath(folder, kSettingsFileName);
    if (held.held() && !FileHasContent(path) && !WriteSettingsFile(FreshBasicSettings(), path, error))
        return false;
    return ReadSettingsFile(settings, folder, error);
}

bool SaveBasicSettings(const BasicSettings& settings, const std::string& folder, std::string* error,
                       std::string* notice)
{
    // A text the file cannot hold would come back changed (a password with
    // "?" locks the user out): such a save writes nothing.
    for (const BasicSettingField& field : kFields) {
        if (!IsCp932Representable(BasicSettingText(settings, field))) {
            if (error)
                *error = std::string(field.key) + " に Shift-JIS で表せない文字があります。";
            return false;
        }
    }
    BasicSettings written = settings;
    WriteKeyringPasswords(written, folder, notice);
    return WriteSettingsFile(written, JoinPath(folder, kSettingsFileName), error);
}

} // namespace tessaly
