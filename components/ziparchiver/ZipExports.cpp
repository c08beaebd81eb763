// SPDX-License-Identifier: MIT
// The two exported functions of the component. Nothing may leave them as an
// exception: every failure becomes a code and a message.
#include "TessalyZip.h"
#include "ZipOutput.h"
#include "ZipRun.h"

#include <atomic>

namespace {

std::atomic<int> g_packing{0};

/// Counts one packing in progress for ZipGetRunning.
class PackingScope final {
public:
    PackingScope() { g_packing.fetch_add(1); }
    ~PackingScope() { g_packing.fetch_sub(1); }
    PackingScope(const PackingScope&) = delete;
    PackingScope& operator=(const PackingScope&) = delete;
};

tessaly::zip::ZipResult RunGuarded(const char* commandLine)
{
    try {
        if (!commandLine)
            return {TESSALY_ZIP_BAD_COMMAND, "コマンドラインがありません。"};
        return tessaly::zip::RunZip(commandLine);
    } catch (...) {
        return {TESSALY_ZIP_INTERNAL_ERROR, "メモリが足りないため書庫を作成できませんでした。"};
    }
}

} // namespace

extern "C" int32_t Zip(intptr_t window, const char* commandLine, char* output, int32_t outputSize)
{
    static_cast<void>(window);
    PackingScope scope;
    const tessaly::zip::ZipResult result = RunGuarded(commandLine);
    try {
        tessaly::zip::PutOutput(result.message, output, outputSize);
    } catch (...) {
        if (output && outputSize > 0)
            output[0] = '\0';
    }
    return result.status;
}

extern "C" int16_t ZipGetRunning(void)
{
    return g_packing.load() > 0 ? 1 : 0;
}
