// SPDX-License-Identifier: MIT
// The library as a host finds it: factory, exported entry points and the
// type information it carries as data.
#include "TestDoubles.h"

#include "traycontrol/ClassFactory.h"
#include "traycontrol/Lumitray.h"
#include "traycontrol/TypeInfo.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lumitray;
using namespace lumitray::test;

TEST(Library, TheFactoryCreatesTheControlFromItsProgIdOnly)
{
    TestSite site;
    std::unique_ptr<Lumitray> control;
    EXPECT_EQ(CreateControl(QStringLiteral("LumitrayControl.Lumitray"), &site, &control), S_OK);
    ASSERT_TRUE(control);
    Variant value;
    EXPECT_EQ(control->invoke(DispIds::BalloonSound, DispatchKind::PropertyGet, {}, &value), S_OK);
    EXPECT_EQ(value, Variant::fromBooleanValue(True));

    std::unique_ptr<Lumitray> other;
    EXPECT_EQ(CreateControl(QStringLiteral("Other.Control"), &site, &other), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(other);
    EXPECT_EQ(CreateControl(QStringLiteral("LumitrayControl.Lumitray"), nullptr, &other), E_POINTER);
}

TEST(Library, ClassObjectAndUnloadStateFollowTheLiveControls)
{
    void* object = nullptr;
    EXPECT_EQ(DllGetClassObject(&Identity::ClassId, &Identity::ClassFactoryId, &object), S_OK);
    ASSERT_EQ(object, &ClassFactory::instance());
    EXPECT_EQ(DllGetClassObject(&Identity::LibraryId, &Identity::ClassFactoryId, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DllGetClassObject(&Identity::ClassId, &Identity::InterfaceId, &object), E_NOINTERFACE);
    EXPECT_EQ(DllGetClassObject(&Identity::ClassId, &Identity::ClassFactoryId, nullptr), E_POINTER);

    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    TestSite site;
    std::unique_ptr<Lumitray> control;
    ASSERT_EQ(ClassFactory::instance().createInstance(&site, &control), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    control.reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    ClassFactory::instance().lockServer(true);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    ClassFactory::instance().lockServer(false);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(Library, RegistrationWritesAndRemovesThePerUserEntries)
{
    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    EXPECT_EQ(DllRegisterServer(), S_OK);
    QFile file(RegistryFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(text.contains(QStringLiteral("LumitrayControl.Lumitray")));
    EXPECT_TRUE(text.contains(Identity::ClassId.toString()));
    EXPECT_TRUE(text.contains(QStringLiteral("liblumitray.so")));

    EXPECT_EQ(DllUnregisterServer(), S_OK);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QString::fromUtf8(file.readAll()).contains(QStringLiteral("LumitrayControl.Lumitray")));
    file.close();

    // A configuration folder that cannot be created fails the registration.
    QFile blocker(config.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", blocker.fileName().toLocal8Bit());
    EXPECT_EQ(DllRegisterServer(), SELFREG_E_CLASS);
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST(Library, TypeInformationFindsMembersByNameAndNumbersTheEventsInOrder)
{
    EXPECT_EQ(Members().size(), 17u);
    const MemberInfo* about = FindMember(-552);
    ASSERT_TRUE(about);
    EXPECT_STREQ(about->name, "About");
    EXPECT_TRUE(about->hidden);
    bool found = false;
    EXPECT_EQ(MemberIdOfName(QStringLiteral("balloontimeout"), &found), 0x68030000);
    EXPECT_TRUE(found);
    const char* order[] = {"MouseDown",   "MouseMove",    "MouseUp",     "DblClick",
                           "BalloonShow", "BalloonClose", "BalloonClick"};
    ASSERT_EQ(Events().size(), std::size(order));
    for (std::size_t i = 0; i < std::size(order); ++i) {
        EXPECT_STREQ(Events()[i].name, order[i]);
        EXPECT_EQ(Events()[i].id, static_cast<DispId>(i + 1));
    }
}
