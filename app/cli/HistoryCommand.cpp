// SPDX-License-Identifier: MIT
// tessalyctl history: history.hst, then history.dat, without merging them.
#include "cli/Ctl.h"

#include "common/Cp932.h"
#include "common/FileSystem.h"
#include "common/Json.h"
#include "common/PathField.h"
#include "watch/HistoryFile.h"

namespace tessaly {

int RunHistory(CtlContext& context)
{
    std::vector<std::string> all;
    for (std::string_view name : {kHistoryFileName, kHistoryInboxFileName}) {
        std::vector<std::string> lines;
        std::string error;
        if (!ReadHistoryLines(JoinPath(context.folder, name), &lines, &error)) {
            context.err << "tessalyctl: " << error << '\n';
            return kCtlFailed;
        }
        all.insert(all.end(), lines.begin(), lines.end());
    }
    if (!context.json) {
        // The lines as the files hold them, escaped path fields included.
        for (const std::string& line : all)
            context.out << Cp932ToUtf8(line) << '\n';
        return kCtlOk;
    }
    context.out << "[";
    const char* separator = "\n  ";
    for (const std::string& line : all) {
        HistoryEntry e = ParseHistoryLine(line);
        context.out << separator << "{\"detected\": " << JsonQuote(e.detected)
                    << ", \"subscription\": " << JsonQuote(e.subscription) << ", \"folder\": " << JsonQuote(ValidUtf8(e.folder))
                    << ", \"file\": " << JsonQuote(ValidUtf8(e.file)) << ", \"file_time\": " << JsonQuote(e.fileTime) << "}";
        separator = ",\n  ";
    }
    context.out << (all.empty() ? "]\n" : "\n]\n");
    return kCtlOk;
}

} // namespace tessaly
