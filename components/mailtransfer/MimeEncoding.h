// SPDX-License-Identifier: MIT
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace tessaly::mail {

/// Base64 of `bytes`, without line breaks.
std::string Base64(std::string_view bytes);

/// Base64 of `bytes` in lines of at most 76 characters, each ended by CR LF;
/// "" for no bytes. Feeding a long input in slices whose sizes are multiples
/// of 57 bytes gives the same text as feeding it whole.
std::string Base64Lines(std::string_view bytes);

/// True when `text` consists of printable ASCII characters only.
bool IsPrintableAscii(std::string_view text);

/// A header value for unstructured text (a subject): printable ASCII that
/// fits on one line as it is, anything else as RFC 2047 encoded words
/// ("=?UTF-8?B?...?=") that never split a character, folded onto
/// continuation lines with CR LF and a space.
std::string EncodeHeaderText(std::string_view utf8);

/// The file-name parameter of a Content-Disposition header: filename="..."
/// for short printable ASCII names, otherwise RFC 2231 (filename*=UTF-8''...,
/// split into numbered continuations on folded lines when long).
std::string FileNameParameter(std::string_view utf8);

/// The name parameter of a Content-Type header, for mail readers that know
/// only that one: name="..." with the name as encoded words when it is not
/// plain ASCII.
std::string NameParameter(std::string_view utf8);

/// `when` as an RFC 5322 date in local time with its zone offset
/// ("Tue, 07 Jan 2025 14:05:09 +0900"); English names whatever the locale.
std::string MailDate(std::time_t when);

/// Every line break of `text` (CR LF, lone LF, lone CR) made CR LF.
std::string WithCrLf(std::string_view text);

} // namespace tessaly::mail
