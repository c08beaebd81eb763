// SPDX-License-Identifier: MIT
// The sign-in's tokens and, on request, the passwords in the desktop's
// keyring: against GNOME Keyring on a session bus of the test's own
// (with-keyring.sh), and in the data folder's files where no keyring
// answers.
#include "support/TempFolder.h"

#include "common/FileSystem.h"
#include "common/SecretStore.h"
#include "notify/OAuthSignIn.h"
#include "settings/BasicSettings.h"
#include "settings/GsxSeq.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>

namespace tessaly {
namespace {

std::string Output(const std::string& command)
{
    std::string output;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

std::vector<std::string> Records(const std::string& path)
{
    std::vector<std::string> records;
    GsxSeq seq;
    EXPECT_EQ(seq.OpenSeqFile(path), GsxSeq::kOpened) << path;
    std::string record;
    for (int status; (status = seq.GetSeqString(&record)) != GsxSeq::kEnd && status != GsxSeq::kFailed;) {
        if (status == GsxSeq::kRecord)
            records.push_back(record);
    }
    return records;
}

/// What the keyring holds for the folder and kind, as secret-tool finds it.
std::string InKeyring(const std::string& folder, const char* kind)
{
    return Output("timeout 10 secret-tool lookup folder '" + folder + "' kind " + kind + " 2>/dev/null");
}

/// Hides the session bus from the program while it lives.
class NoSessionBus {
public:
    NoSessionBus()
    {
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"}) {
            m_saved.emplace_back(name, std::getenv(name));
            ::unsetenv(name);
        }
    }
    ~NoSessionBus()
    {
        for (const auto& [name, value] : m_saved)
            ::setenv(name, value.c_str(), 1);
    }
    NoSessionBus(const NoSessionBus&) = delete;
    NoSessionBus& operator=(const NoSessionBus&) = delete;

private:
    std::vector<std::pair<const char*, std::string>> m_saved;
};

TEST(SecretStore, SecretsGoToTheKeyringWhereOneAnswersElseToTheFileAndTheUserIsToldOnce)
{
    ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run through with-keyring.sh";
    enum class Keyring { Open, NoBus, Off, Locked };
    struct Case {
        const char* name;
        Keyring keyring;
        const char* why; ///< in the message that says where the secrets went
    };
    const Case cases[] = {
        {"open keyring", Keyring::Open, ""},
        {"no session bus", Keyring::NoBus, "セッションバスがありません"},
        // Tokens the keyring had move to the file, none left behind.
        {"TESSALY_KEYRING=0", Keyring::Off, "TESSALY_KEYRING=0 のため"},
        // Last: the keyring stays locked, as unlocking would prompt.
        {"locked keyring", Keyring::Locked, "キーリングがロックされています"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder data;
        std::optional<NoSessionBus> hidden;
        if (c.keyring == Keyring::NoBus)
            hidden.emplace();
        if (c.keyring == Keyring::Locked) {
            ASSERT_EQ(std::system("dbus-send --session --print-reply --dest=org.freedesktop.secrets "
                                  "/org/freedesktop/secrets org.freedesktop.Secret.Service.Lock "
                                  "array:objpath:/org/freedesktop/secrets/collection/login >/dev/null"),
                      0);
        }
        const bool keyring = c.keyring == Keyring::Open;
        const StoredTokens tokens{"client", "me@example.jp", "R-secret", "A-secret", 99, {}};
        std::string error;
        if (c.keyring == Keyring::Off) {
            ASSERT_TRUE(SaveStoredTokens(data.path(), tokens, 1, &error)) << error;
            ASSERT_NE(InKeyring(data.path(), "oauth-tokens"), "");
            ::setenv("TESSALY_KEYRING", "0", 1);
        }

        // The sign-in: its tokens, and where they went told once.
        const std::string tokenFile = data.file(kOAuthTokenFileName);
        std::string notice;
        ASSERT_TRUE(SaveStoredTokens(data.path(), tokens, 1, &error, &notice)) << error;
        EXPECT_EQ(notice, keyring ? "" : SecretsInFileMessage(tokenFile, c.why));
        struct stat st {};
        ASSERT_EQ(::stat(tokenFile.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        const std::vector<std::string> records = Records(tokenFile);
        EXPECT_EQ(std::count(records.begin(), records.end(), "refresh=R-secret"), keyring ? 0 : 1);
        EXPECT_EQ(InKeyring(data.path(), "oauth-tokens").find("R-secret") != std::string::npos, keyring);
        StoredTokens loaded;
        ASSERT_TRUE(LoadStoredTokens(data.path(), &loaded, &error)) << error;
        EXPECT_EQ(loaded, tokens);
        const SignInRecord record = ReadSignInRecord(data.path());
        EXPECT_TRUE(record.signedIn);
        EXPECT_EQ(record.client + " " + record.account, "client me@example.jp");
        notice.clear();
        ASSERT_TRUE(SaveStoredTokens(data.path(), tokens, 1, &error, &notice)) << error;
        EXPECT_EQ(notice, "");
        EXPECT_EQ(Output("cat /proc/[0-9]*/cmdline 2>/dev/null | tr '\\0' ' '").find("R-secret"), std::string::npos);

        // The passwords, on request, with empty records in the file.
        BasicSettings settings;
        settings.Conf_KeyringPasswd = 1;
        settings.Conf_SmtpAuthUser = "me@example.jp";
        settings.Conf_SmtpAuthPasswd = "smtp-pw";
        settings.Conf_PopPasswd = "pop-pw";
        settings.Conf_zipPasswd = "zip-pw";
        settings.Conf_OAuthSecret = "client-pw";
        ASSERT_TRUE(SaveBasicSettings(settings, data.path(), &error, &notice)) << error;
        EXPECT_EQ(notice, keyring ? "" : SecretsInFileMessage(data.file(kSettingsFileName), c.why));
        const std::vector<std::string> file = Records(data.file(kSettingsFileName));
        for (const std::string record : {"Conf_SmtpAuthPasswd=smtp-pw", "Conf_OAuthSecret   =client-pw"}) {
            const std::string kept = keyring ? record.substr(0, record.find('=') + 1) : record;
            EXPECT_EQ(std::count(file.begin(), file.end(), kept), 1) << kept;
        }
        BasicSettings read;
        ASSERT_TRUE(LoadBasicSettings(read, data.path(), &error)) << error;
        EXPECT_EQ(read, settings);

        // A refresh token refused leaves the sign-in to be made again.
        ASSERT_TRUE(SaveStoredTokens(data.path(), {"client", "me@example.jp", {}, {}, 0, "signin"}, 1, &error))
            << error;
        EXPECT_FALSE(ReadSignInRecord(data.path()).signedIn);

        // Signing out takes the tokens out of the keyring too.
        ASSERT_TRUE(RemoveStoredTokens(data.path(), 1, &error)) << error;
        EXPECT_FALSE(PathExists(tokenFile));
        EXPECT_EQ(InKeyring(data.path(), "oauth-tokens"), "");
        ::unsetenv("TESSALY_KEYRING");
    }
}

} // namespace
} // namespace tessaly
