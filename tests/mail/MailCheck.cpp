// SPDX-License-Identifier: MIT
#include "MailCheck.h"

#include "common/Json.h"
#include "support/TempFolder.h"

#include <cstdio>
#include <sys/wait.h>

namespace tessaly::test {
namespace {

std::string JsonList(const std::vector<std::string>& texts)
{
    std::string out = "[";
    for (const std::string& text : texts)
        out += (out.size() > 1 ? "," : "") + JsonQuote(text);
    return out + "]";
}

std::string Json(const MailboxCheck& check)
{
    std::string messages = "[";
    for (const ExpectedMail& mail : check.messages) {
        std::vector<std::string> attachments; // name and source, in turn
        for (const ExpectedAttachment& a : mail.attachments)
            attachments.insert(attachments.end(), {a.name, a.source});
        messages += (messages.size() > 1 ? "," : "") + std::string("{\"subject\":") + JsonQuote(mail.subject) +
                    ",\"from\":" + JsonQuote(mail.from) + ",\"body\":" + JsonQuote(mail.body) +
                    ",\"attachments\":" + JsonList(attachments) + "}";
    }
    std::string json = "{";
    if (check.files.empty())
        json += "\"maildir\":" + JsonQuote(check.maildir) + ",";
    else
        json += "\"files\":" + JsonList(check.files) + ",";
    json += "\"wait_seconds\":" + std::to_string(check.waitSeconds) + ",\"messages\":" + messages + "]" +
            ",\"missing_subjects\":" + JsonList(check.missingSubjects) + ",\"hidden\":" + JsonList(check.hidden) +
            ",\"absent\":" + JsonList(check.absent) + "}";
    return json;
}

} // namespace

std::string RunMailCheck(const MailboxCheck& check)
{
    TempFolder temp;
    const std::string specPath = temp.file("expect.json");
    WriteFile(specPath, Json(check));
    const std::string command = std::string("/usr/bin/python3 ") + CHECK_MAIL_SCRIPT + " " + specPath + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return "cannot run " + command;
    std::string output;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    int status = ::pclose(pipe);
    if (!output.empty() && output.back() == '\n')
        output.pop_back();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        output += " (checker failed)";
    return output;
}

} // namespace tessaly::test
