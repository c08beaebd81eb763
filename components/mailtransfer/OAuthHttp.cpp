// SPDX-License-Identifier: MIT
#include "OAuthHttp.h"

#include "CurlExchange.h"

#include <curl/curl.h>

#include <memory>

namespace tessaly::mail {
namespace {

constexpr size_t kMaxBody = 256 * 1024;
constexpr long kConnectSeconds = 15;

struct Reading {
    std::string body;
    bool tooLong = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* target)
{
    auto* reading = static_cast<Reading*>(target);
    const size_t bytes = size * count;
    if (reading->body.size() + bytes > kMaxBody) {
        reading->tooLong = true;
        return 0;
    }
    reading->body.append(data, bytes);
    return bytes;
}

int OnProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return CurlExchange::Cancelled() ? 1 : 0;
}

bool IsLoopbackHttp(const std::string& url)
{
    for (const char* prefix : {"http://127.0.0.1", "http://localhost", "http://[::1]"}) {
        const std::string start(prefix);
        if (url.compare(0, start.size(), start) == 0 &&
            (url.size() == start.size() || url[start.size()] == ':' || url[start.size()] == '/'))
            return true;
    }
    return false;
}

/// The host part of `url`, for messages.
std::string HostOf(const std::string& url)
{
    const size_t start = url.find("://");
    if (start == std::string::npos)
        return url;
    const size_t end = url.find_first_of("/?#", start + 3);
    return url.substr(start + 3, end == std::string::npos ? std::string::npos : end - start - 3);
}

} // namespace

HttpAnswer PostForm(const std::string& url, const std::string& form, long timeoutSeconds)
{
    HttpAnswer answer;
    if (url.compare(0, 8, "https://") != 0 && !IsLoopbackHttp(url)) {
        answer.body = "トークンのアドレスは https:// で始まる必要があります: " + HostOf(url);
        return answer;
    }
    if (CurlExchange::Cancelled()) {
        answer.body = "プログラムの終了のため、サインインを中止しました";
        return answer;
    }
    InitialiseCurlOnce();
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        answer.body = "メモリが足りないため、トークンを要求できませんでした";
        return answer;
    }
    Reading reading;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reading);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    const CURLcode code = curl_easy_perform(handle);
    curl_slist_free_all(headers);
    if (code == CURLE_OK) {
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.status);
        answer.body = std::move(reading.body);
        return answer;
    }
    const std::string host = HostOf(url);
    if (reading.tooLong)
        answer.body = host + " の応答が大きすぎます";
    else if (code == CURLE_OPERATION_TIMEDOUT)
        answer.body = host + " から時間内に応答がありませんでした";
    else if (code == CURLE_ABORTED_BY_CALLBACK)
        answer.body = "プログラムの終了のため、サインインを中止しました";
    else if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE)
        answer.body = host + " の証明書を確認できませんでした";
    else
        answer.body = host + " に接続できませんでした (" +
                      std::string(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code)) + ")";
    return answer;
}

} // namespace tessaly::mail
