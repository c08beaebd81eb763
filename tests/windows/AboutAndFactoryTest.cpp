// SPDX-License-Identifier: MIT
// The about box, and the main window's commands opening the real windows.
#include "WindowsHarness.h"

#include "resident/FormMain.h"
#include "windows/FormConfig.h"
#include "windows/FormList.h"
#include "windows/FormParam.h"
#include "windows/FormWindowFactory.h"
#include "windows/SystemInfoTool.h"
#include "windows/frmAbout.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <sys/stat.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

/// Sets PATH to one folder for its lifetime.
class SearchPath final {
public:
    explicit SearchPath(const std::string& folder) : m_old(qgetenv("PATH")) { qputenv("PATH", folder.c_str()); }
    ~SearchPath() { qputenv("PATH", m_old); }

private:
    QByteArray m_old;
};

} // namespace

class AboutAndFactoryTest final : public QObject {
    Q_OBJECT

private slots:
    void aboutShowsTitleAndVersion();
    void aboutInsideTheMainWindowFitsCaptionAndTexts();
    void sysInfoWithoutAToolSaysSo();
    void sysInfoStartsTheToolFoundOnThePath();
    void menuCommandsOpenTheRealWindows();
};

void AboutAndFactoryTest::aboutShowsTitleAndVersion()
{
    RecordingMessages messages;
    frmAbout box(messages, [] { return true; });
    QCOMPARE(box.windowTitle(), QStringLiteral("Tessalyのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(box.findChild<QLabel*>("lblVersion")->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.2.0"));
}

void AboutAndFactoryTest::aboutInsideTheMainWindowFitsCaptionAndTexts()
{
    RecordingMessages messages;
    QMdiArea area;
    area.resize(800, 600);
    auto* box = new frmAbout(messages, [] { return true; });
    QMdiSubWindow* frame = area.addSubWindow(box);
    area.show();
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    // The caption in bold, beside the frame's icon and three buttons.
    QFont bold = frame->font();
    bold.setBold(true);
    const int titleBar = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame);
    QVERIFY2(frame->width() >= QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 4 * titleBar,
             qPrintable(QString::number(frame->width())));
    for (QLabel* label : box->findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->objectName()));
    }
    for (QPushButton* button : box->findChildren<QPushButton*>())
        QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->objectName()));
}

void AboutAndFactoryTest::sysInfoWithoutAToolSaysSo()
{
    TempFolder empty;
    SearchPath path(empty.path());
    QCOMPARE(FindSystemInfoTool(), QString());
    RecordingMessages messages;
    frmAbout box(messages, StartSysInfo);
    box.show();
    QTest::mouseClick(box.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    QCOMPARE(messages.messages, std::vector<std::string>{"現時点ではｼｽﾃﾑ情報を使用できません"});
}

void AboutAndFactoryTest::sysInfoStartsTheToolFoundOnThePath()
{
    TempFolder tools;
    const std::string marker = tools.file("started");
    WriteFile(tools.file("hardinfo"), "#!/bin/sh\necho started > '" + marker + "'\n");
    QCOMPARE(::chmod(tools.file("hardinfo").c_str(), 0755), 0);
    SearchPath path(tools.path());
    QCOMPARE(FindSystemInfoTool(), QString::fromStdString(tools.file("hardinfo")));
    RecordingMessages messages;
    frmAbout box(messages, StartSysInfo);
    box.sysInfo();
    QTRY_VERIFY(QFile::exists(QString::fromStdString(marker)));
    QVERIFY(messages.messages.empty());
}

void AboutAndFactoryTest::menuCommandsOpenTheRealWindows()
{
    WindowsHarness h;
    FormWindowFactory windows(h.context);
    QPointer<FormMain> frame = new FormMain(windows, h.clock, [] {});
    frame->show();
    const auto open = [&](const char* command) {
        frame->findChild<QAction*>(QLatin1String(command))->trigger();
        return frame->childWindows().size() == 1 ? frame->childWindows().front()->widget() : nullptr;
    };
    QVERIFY(qobject_cast<FormList*>(open("MnuList")));
    QVERIFY(qobject_cast<FormConfig*>(open("MnuCheck")));
    QVERIFY(qobject_cast<FormParam*>(open("MnuBasic")));
    QVERIFY(qobject_cast<frmAbout*>(open("MnuAbout")));
    QCOMPARE(frame->childWindows().front()->windowTitle(), QStringLiteral("Tessalyのﾊﾞｰｼﾞｮﾝ情報"));
    // OK closes the box inside the main window.
    QPointer<QMdiSubWindow> child = frame->childWindows().front();
    QTest::mouseClick(child->widget()->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QTRY_VERIFY(!child);
    QVERIFY(frame->childWindows().isEmpty());
    delete frame.data();
}

QTEST_MAIN(AboutAndFactoryTest)
#include "AboutAndFactoryTest.moc"
