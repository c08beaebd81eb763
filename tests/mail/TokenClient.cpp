// SPDX-License-Identifier: MIT
#include "TokenClient.h"

#include <curl/curl.h>

namespace tessaly::test {
namespace {

size_t Append(char* data, size_t size, size_t count, void* body)
{
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

} // namespace

std::string TokenClient::Post(const std::string& path, const std::string& form, long* status) const
{
    std::string body;
    CURL* curl = curl_easy_init();
    if (!curl)
        return body;
    const std::string url = m_baseUrl + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (curl_easy_perform(curl) != CURLE_OK)
        body.clear();
    if (status)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, status);
    curl_easy_cleanup(curl);
    return body;
}

std::string BrowserGet(const std::string& url, std::string* location)
{
    std::string body;
    CURL* curl = curl_easy_init();
    if (!curl)
        return body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    char* redirect = nullptr;
    if (curl_easy_perform(curl) == CURLE_OK && location &&
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK && redirect)
        *location = redirect;
    curl_easy_cleanup(curl);
    return body;
}

std::string TokenClient::Issue(const std::string& user, int expiresIn) const
{
    // The addresses of the fixture's users need no escaping.
    return Post("/token", std::string("grant_type=urn:tessaly:test:direct&client_id=") + kClientId +
                              "&username=" + user + "&expires_in=" + std::to_string(expiresIn));
}

void TokenClient::Revoke(const std::string& token) const
{
    Post("/revoke", "token=" + token);
}

std::string JsonString(const std::string& json, const std::string& key)
{
    const std::string quoted = "\"" + key + "\": \"";
    const size_t start = json.find(quoted);
    if (start == std::string::npos)
        return {};
    const size_t from = start + quoted.size();
    const size_t end = json.find('"', from);
    return end == std::string::npos ? std::string() : json.substr(from, end - from);
}

} // namespace tessaly::test
