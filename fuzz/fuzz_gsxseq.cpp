// SPDX-License-Identifier: MIT
// Reads an arbitrary file as a scrambled record file to its end.
#include "FuzzInput.h"
#include "settings/GsxSeq.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = tessaly::fuzz::PutFile("records.dat", data, size);
    tessaly::GsxSeq seq;
    if (seq.OpenSeqFile(path) != tessaly::GsxSeq::kOpened)
        return 0;
    std::string text;
    for (;;) {
        int status = seq.GetSeqString(&text);
        if (status == tessaly::GsxSeq::kEnd || status == tessaly::GsxSeq::kFailed)
            break;
    }
    return 0;
}
