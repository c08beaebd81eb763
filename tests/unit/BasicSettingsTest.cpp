// SPDX-License-Identifier: MIT
#include "settings/BasicSettings.h"
#include "settings/GsxSeq.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

class BasicSettingsFile : public ::testing::Test {
protected:
    std::string path() const { return m_temp.file("sysconfig.dat"); }

    void writeRecords(const std::vector<std::string>& records)
    {
        GsxSeq seq;
        seq.MakeKeyTable();
        ASSERT_TRUE(seq.CreateSeqFile(path()));
        for (const std::string& record : records)
            ASSERT_TRUE(seq.PutSeqString(record));
        ASSERT_TRUE(seq.CloseSeqFile());
    }

    std::vector<std::string> readRecords()
    {
        GsxSeq seq;
        EXPECT_EQ(seq.OpenSeqFile(path()), GsxSeq::kOpened);
        std::vector<std::string> records;
        std::string text;
        while (seq.GetSeqString(&text) == GsxSeq::kRecord)
            records.push_back(text);
        return records;
    }

    test::TempFolder m_temp;
    BasicSettings m_settings;
};

TEST_F(BasicSettingsFile, AMissingOrEmptyFileStartsWithBalloonsAndATenMinuteInterval)
{
    BasicSettings fresh;
    fresh.Conf_Balloon = 1;
    fresh.Conf_Interval = "10";
    for (bool empty : {false, true}) {
        if (empty)
            test::WriteFile(path(), "");
        m_settings = BasicSettings{};
        EXPECT_TRUE(LoadBasicSettings(m_settings, m_temp.path()));
        EXPECT_EQ(m_settings, fresh);
        // The file holds them, so the next start reads the same.
        const std::vector<std::string> records = readRecords();
        ASSERT_EQ(records.size(), kBasicSettingCount);
        EXPECT_EQ(records[2], "Conf_Balloon       =1");
        EXPECT_EQ(records[21], "Conf_Interval      =10");
    }
    // A file that exists keeps its values, an empty interval included.
    writeRecords({"Conf_Balloon       =0", "Conf_Interval      ="});
    EXPECT_TRUE(LoadBasicSettings(m_settings, m_temp.path()));
    EXPECT_EQ(m_settings.Conf_Balloon, 0);
    EXPECT_EQ(m_settings.Conf_Interval, "");
}

TEST_F(BasicSettingsFile, SavesTheTwentyTwoLabelledRecordsInOrder)
{
    m_settings.Conf_Mail = 1;
    m_settings.Conf_SmtpSrv = "smtp.example.jp";
    m_settings.Conf_zipPasswd = " 前後に空白 ";
    m_settings.Conf_Interval = "5";
    std::string error;
    ASSERT_TRUE(SaveBasicSettings(m_settings, m_temp.path(), &error)) << error;
    std::vector<std::string> records = readRecords();
    ASSERT_EQ(records.size(), 34u);
    EXPECT_EQ(records[0], "Conf_Passwd        =0");
    EXPECT_EQ(records[1], "Conf_PasswdTxt     =");
    EXPECT_EQ(records[3], "Conf_Mail          =1");
    EXPECT_EQ(records[4], "Conf_SmtpSrv       =smtp.example.jp");
    EXPECT_EQ(records[16], "Conf_SmtpAuthPasswd=");
    EXPECT_EQ(records[19], "Conf_zipPasswd     = 前後に空白 ");
    EXPECT_EQ(records[21], "Conf_Interval      =5");
    // The records of live watching come after every record an installation
    // without them knows.
    EXPECT_EQ(records[22], "Conf_Instant       =0");
    EXPECT_EQ(records[23], "Conf_Settle        =5");
    EXPECT_EQ(records[24], "Conf_MailAuth      =0");
    EXPECT_EQ(records[29], "Conf_OAuthScope    =");
    EXPECT_EQ(records[31], "Conf_OAuthSecret   =");
    EXPECT_EQ(records[33], "Conf_KeyringPasswd =0");
    for (const std::string& record : records)
        EXPECT_EQ(record[19], '=') << record;
}

TEST_F(BasicSettingsFile, SaveAndLoadReproduceEveryFieldAndResetRestoresDefaults)
{
    int n = 0;
    for (const BasicSettingField& field : BasicSettingFields()) {
        if (field.flag)
            m_settings.*field.flag = static_cast<int16_t>(n % 2 == 0 ? -1 : n);
        else
            m_settings.*field.text = n % 3 == 0 ? "" : "値=" + std::to_string(n) + " ﾃｽﾄ ";
        ++n;
    }
    std::string error;
    ASSERT_TRUE(SaveBasicSettings(m_settings, m_temp.path(), &error)) << error;
    BasicSettings loaded;
    loaded.Conf_SmtpSrv = "stale";
    EXPECT_TRUE(LoadBasicSettings(loaded, m_temp.path()));
    EXPECT_EQ(loaded, m_settings);
    ResetBasicSettings(loaded);
    EXPECT_EQ(loaded, BasicSettings{});
}

TEST_F(BasicSettingsFile, MatchesLabelsExactlyKeepsTextsUntrimmedAndRoundsFlagsHalfToEven)
{
    writeRecords({"Conf_SmtpAddr      =  a=b@example.jp  ", "Conf_Zip           =1", "Conf_zip =1", "short",
                  "Conf_PopUser       =first", "Conf_PopUser       =second", "", "Conf_Passwd        =1.5",
                  "Conf_Balloon       =0.5", "Conf_Mail          =2.5"});
    EXPECT_TRUE(LoadBasicSettings(m_settings, m_temp.path()));
    EXPECT_EQ(m_settings.Conf_SmtpAddr, "  a=b@example.jp  ");
    EXPECT_EQ(m_settings.Conf_zip, 0);
    EXPECT_EQ(m_settings.Conf_PopUser, "second");
    EXPECT_EQ(m_settings.Conf_Passwd, 2);
    EXPECT_EQ(m_settings.Conf_Balloon, 0);
    EXPECT_EQ(m_settings.Conf_Mail, 2);
    writeRecords({"Conf_zip           = 1 "});
    EXPECT_TRUE(LoadBasicSettings(m_settings, m_temp.path()));
    EXPECT_EQ(m_settings.Conf_zip, 1);
}

TEST_F(BasicSettingsFile, ANonNumericFlagEndsTheLoadKeepingWhatCameBefore)
{
    writeRecords({"Conf_SmtpSrv       =before", "Conf_Mail          =x", "Conf_SmtpPort      =after"});
    m_settings.Conf_SmtpPort = "25";
    std::string error;
    EXPECT_FALSE(LoadBasicSettings(m_settings, m_temp.path(), &error));
    EXPECT_EQ(m_settings.Conf_SmtpSrv, "before");
    EXPECT_EQ(m_settings.Conf_Mail, 0);
    EXPECT_EQ(m_settings.Conf_SmtpPort, "25");
    EXPECT_NE(error.find("Conf_Mail"), std::string::npos) << error;
}

TEST_F(BasicSettingsFile, DamagedFilesFailAndStayAsTheyAre)
{
    const std::string foreign = "not a settings file at all";
    test::WriteFile(path(), foreign);
    m_settings.Conf_SmtpSrv = "kept";
    EXPECT_FALSE(LoadBasicSettings(m_settings, m_temp.path()));
    EXPECT_EQ(m_settings.Conf_SmtpSrv, "kept");
    EXPECT_EQ(test::ReadFile(path()), foreign);
}

TEST_F(BasicSettingsFile, AFifoOrALinkInItsPlaceIsRefusedAtOnce)
{
    test::TempFolder elsewhere;
    ASSERT_TRUE(SaveBasicSettings(m_settings, elsewhere.path(), nullptr));
    const std::string target = elsewhere.file("sysconfig.dat");
    const std::string before = test::ReadFile(target);
    ASSERT_EQ(::symlink(target.c_str(), path().c_str()), 0);
    std::string error;
    EXPECT_FALSE(LoadBasicSettings(m_settings, m_temp.path(), &error));
    EXPECT_NE(error.find("sysconfig.dat を開けません"), std::string::npos) << error;
    ASSERT_EQ(::unlink(path().c_str()), 0);
    ASSERT_EQ(::mkfifo(path().c_str(), 0600), 0);
    // A reader that waited on the FIFO would never come back: the child
    // is ended by its alarm then.
    EXPECT_EQ(test::RunInChild([&] {
                  ::alarm(10);
                  return LoadBasicSettings(m_settings, m_temp.path()) ? 1 : 0;
              }),
              0);
    EXPECT_EQ(test::ReadFile(target), before);
}

TEST_F(BasicSettingsFile, AnInterruptedFileLoadsWhatItHoldsAndFails)
{
    writeRecords({"Conf_SmtpSrv       =smtp", "Conf_SmtpPort      =587"});
    std::string bytes = test::ReadFile(path());
    test::WriteFile(path(), bytes.substr(0, bytes.size() - 3)); // end tag and a bit of the port gone
    EXPECT_FALSE(LoadBasicSettings(m_settings, m_temp.path()));
    EXPECT_EQ(m_settings.Conf_SmtpSrv, "smtp");
    EXPECT_EQ(m_settings.Conf_SmtpPort, "");
}

TEST_F(BasicSettingsFile, AFileWithoutTheLiveWatchingRecordsLoadsTheirDefaults)
{
    writeRecords({"Conf_Mail          =1", "Conf_Interval      =10"});
    m_settings.Conf_Instant = 1;
    m_settings.Conf_Settle = "30";
    ResetBasicSettings(m_settings);
    EXPECT_TRUE(LoadBasicSettings(m_settings, m_temp.path()));
    EXPECT_EQ(m_settings.Conf_Interval, "10");
    EXPECT_EQ(m_settings.Conf_Instant, 0);
    EXPECT_EQ(m_settings.Conf_Settle, "5");
    writeRecords({"Conf_Instant       =1", "Conf_Settle        =0"});
    EXPECT_TRUE(LoadBasicSettings(m_settings, m_temp.path()));
    EXPECT_EQ(m_settings.Conf_Instant, 1);
    EXPECT_EQ(m_settings.Conf_Settle, "0");
}

TEST(BasicSettingFields, EveryKeyIsFoundExactly)
{
    for (const BasicSettingField& field : BasicSettingFields()) {
        EXPECT_EQ(field.label.substr(0, field.key.size()), field.key);
        EXPECT_EQ(FindBasicSetting(field.key), &field);
    }
    EXPECT_EQ(FindBasicSetting("conf_mail"), nullptr);
}

} // namespace
} // namespace tessaly
