// SPDX-License-Identifier: MIT
#include "traycontrol/TypeInfo.h"

#include <array>

namespace lumitray {
namespace {

constexpr std::uint16_t Method = static_cast<std::uint16_t>(DispatchKind::Method);
constexpr std::uint16_t Get = static_cast<std::uint16_t>(DispatchKind::PropertyGet);
constexpr std::uint16_t Put = static_cast<std::uint16_t>(DispatchKind::PropertyPut);
constexpr std::uint16_t PutRef = static_cast<std::uint16_t>(DispatchKind::PropertyPutRef);

constexpr std::array<MemberInfo, 17> g_members{{
    {"Refresh", DispIds::Refresh, Method, false, 0, "アイコンを強制的に更新します。"},
    {"Icon", DispIds::Icon, Get | PutRef, false, PROPCAT_Appearance,
     "通知領域に表示されるアイコンを指定します。値の取得も可能です。"},
    {"BalloonIcon", DispIds::BalloonIcon, Get | Put, false, PROPCAT_Balloon,
     "バルーンに表示されるアイコンを指定します。値の取得も可能です。"},
    {"Show", DispIds::Show, Method, false, 0, "アイコンを表示します。"},
    {"Vanish", DispIds::Vanish, Method, false, 0, "アイコンを消去します。"},
    {"ToolTipText", DispIds::ToolTipText, Get | Put, false, PROPCAT_Appearance,
     "アイコンをポイントした時に表示される文字列を指定します。値の取得も可能です。"},
    {"BalloonTitle", DispIds::BalloonTitle, Get | Put, false, PROPCAT_Balloon,
     "バルーンのタイトルを指定します。値の取得も可能です。"},
    {"Balloon", DispIds::Balloon, Get | Put, false, PROPCAT_Balloon,
     "アイコン表示時、情報バルーンを表示するかを指定します。値の取得も可能です。"},
    {"BalloonSound", DispIds::BalloonSound, Get | Put, false, PROPCAT_Balloon,
     "バルーンが表示された時になるサウンドを鳴らすかを指定します。値の取得も可能です。"},
    {"AutoRefresh", DispIds::AutoRefresh, Get | Put, false, PROPCAT_Behavior,
     "各プロパティ変更時に、変更内容を即座に反映させるかを指定します。値の取得も可能です。"},
    {"BalloonText", DispIds::BalloonText, Get | Put, false, PROPCAT_Balloon,
     "バルーンに表示される文字列を指定します。値の取得も可能です。"},
    {"IsNewVersion", DispIds::IsNewVersion, Get, false, 0,
     "新しいタイプのTipテキストが使用できるかを返します。新しいタイプでは、文字数が増え、バルーンが使用できます。"},
    {"IconHandle", DispIds::IconHandle, Get | Put, true, PROPCAT_Appearance,
     "通知領域に表示されるアイコンのハンドルを指定します。Iconプロパティよりもこちらが優先されます。実行時のみ有効です"
     "。"},
    {"BalloonTimeOut", DispIds::BalloonTimeOut, Get | Put, false, PROPCAT_Balloon,
     "バルーンのタイムアウトです。3から10までの数字で指定します。指定した秒数内は、新しいバルーンは表示されません。"},
    {"About", DispIds::About, Method, true, 0, "バージョン情報を表示します。"},
    {"SetIconHandleFromResource", DispIds::SetIconHandleFromResource, Method, true, 0,
     "通知領域に表示されるアイコンのハンドルをリソースから指定します。Iconプロパティよりもこちらが優先されます。実行時"
     "のみ有効です。"},
    {"SetIconHandleFromFile", DispIds::SetIconHandleFromFile, Method, true, 0,
     "通知領域に表示されるアイコンのハンドルをファイルから指定します。Iconプロパティよりもこちらが優先されます。実行時"
     "のみ有効です。"},
}};

constexpr std::array<EventInfo, 7> g_events{{
    {"MouseDown", EventIds::MouseDown, true, "ユーザーのマウスが押された時に発生します。"},
    {"MouseMove", EventIds::MouseMove, false, "ユーザーがアイコンの上をマウスで通過させた時に発生します。"},
    {"MouseUp", EventIds::MouseUp, true, "ユーザーがマウスボタンを離した時に発生します。"},
    {"DblClick", EventIds::DblClick, true, "アイコンをダブルクリックした時に発生します。"},
    {"BalloonShow", EventIds::BalloonShow, false, "バルーンが表示された時に発生します。"},
    {"BalloonClose", EventIds::BalloonClose, false, "バルーンが消失した時に発生します。"},
    {"BalloonClick", EventIds::BalloonClick, false, "ユーザーがバルーンをクリックした時に発生します。"},
}};

} // namespace

std::span<const MemberInfo> Members()
{
    return g_members;
}

std::span<const EventInfo> Events()
{
    return g_events;
}

const MemberInfo* FindMember(DispId id)
{
    for (const MemberInfo& member : g_members) {
        if (member.id == id)
            return &member;
    }
    return nullptr;
}

DispId MemberIdOfName(const QString& name, bool* found)
{
    for (const MemberInfo& member : g_members) {
        if (name.compare(QLatin1String(member.name), Qt::CaseInsensitive) == 0) {
            *found = true;
            return member.id;
        }
    }
    *found = false;
    return 0;
}

QString CategoryName(std::int32_t category)
{
    switch (category) {
    case PROPCAT_Appearance: return QStringLiteral("Appearance");
    case PROPCAT_Behavior: return QStringLiteral("Behavior");
    case PROPCAT_Balloon: return QStringLiteral("バルーン");
    default: return QString();
    }
}

} // namespace lumitray
