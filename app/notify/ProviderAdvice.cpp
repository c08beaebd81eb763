// SPDX-License-Identifier: MIT
#include "notify/ProviderAdvice.h"

namespace tessaly {
namespace {

struct KnownReply {
    std::string_view code;     ///< the reply code
    std::string_view enhanced; ///< its enhanced status code
    std::string_view advice;
    bool bearer = false; ///< for a login by OAuth 2.0 token, not by password
};

constexpr KnownReply kKnownReplies[] = {
    {"550", "5.7.30",
     "Microsoft 365 はこのメールボックスでパスワードによる SMTP 認証 (基本認証) を受け付けません。"
     "OAuth 2.0 でサインインして送信するか、管理者に SMTP AUTH の有効化を依頼してください。"},
    {"535", "5.7.3",
     "Microsoft 365 が認証を拒否しました。パスワードが違うか、このメールボックスでは SMTP AUTH が無効です。"
     "パスワードを確かめ、正しければ OAuth 2.0 でサインインするか、管理者に SMTP AUTH の有効化を依頼してください。"},
    {"535", "5.7.8",
     "ユーザー名かパスワードが受け付けられませんでした。Gmail (Google) は通常のパスワードでは送信を受け付けません。"
     "Google アカウントで作ったアプリ パスワードを使うか、OAuth 2.0 でサインインしてください。"},
    {"534", "5.7.9",
     "Google アカウントで 2 段階認証プロセスが有効なため、アプリ パスワードが必要です。"
     "Google アカウントでアプリ パスワードを作って設定するか、OAuth 2.0 でサインインしてください。"},
    {"535", "5.7.3",
     "Microsoft 365 が OAuth 2.0 の認証を拒否しました。このメールボックスで SMTP AUTH が無効か、"
     "アプリの登録に SMTP.Send の権限がありません。管理者に確認してください。",
     true},
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// True when `text` holds the reply code, a space or "-", and the enhanced
/// code, as whole numbers ("5.7.3" is not found in "5.7.30").
bool HoldsReply(std::string_view text, const KnownReply& known)
{
    for (size_t at = text.find(known.code); at != std::string_view::npos; at = text.find(known.code, at + 1)) {
        if (at > 0 && IsDigit(text[at - 1]))
            continue;
        std::string_view rest = text.substr(at + known.code.size());
        if (rest.empty() || (rest[0] != ' ' && rest[0] != '-'))
            continue;
        rest = rest.substr(1);
        if (rest.starts_with(known.enhanced) &&
            (rest.size() == known.enhanced.size() || !IsDigit(rest[known.enhanced.size()])))
            return true;
    }
    return false;
}

} // namespace

std::string ProviderAdvice(std::string_view reply, bool bearer)
{
    for (const KnownReply& known : kKnownReplies) {
        if (known.bearer == bearer && HoldsReply(reply, known))
            return std::string(known.advice);
    }
    return {};
}

std::string WithProviderAdvice(std::string reply, bool bearer)
{
    const std::string advice = ProviderAdvice(reply, bearer);
    if (!advice.empty())
        reply += " 【対処】" + advice;
    return reply;
}

} // namespace tessaly
