// SPDX-License-Identifier: MIT
#include "MessageSource.h"

#include "MimeEncoding.h"
#include "common/FileSystem.h"
#include "common/PathField.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tessaly::mail {
namespace {

// A multiple of 57 bytes, so every chunk ends on a whole base64 line.
constexpr size_t kFileChunk = 57 * 1024;

} // namespace

void MessageSource::AddText(std::string text)
{
    Segment segment;
    segment.text = std::move(text);
    m_segments.push_back(std::move(segment));
}

void MessageSource::AddBase64File(std::FILE* file, std::string path)
{
    Segment segment;
    segment.file.reset(file);
    segment.path = std::move(path);
    m_segments.push_back(std::move(segment));
}

bool MessageSource::Refill()
{
    m_pending.clear();
    m_pendingOffset = 0;
    while (m_pending.empty() && m_current < m_segments.size()) {
        Segment& segment = m_segments[m_current];
        if (!segment.file) {
            m_pending = segment.text;
            ++m_current;
            continue;
        }
        std::string chunk(kFileChunk, '\0');
        size_t n = std::fread(chunk.data(), 1, chunk.size(), segment.file.get());
        if (std::ferror(segment.file.get())) {
            m_error = "添付ファイルを読めません: " + ValidUtf8(segment.path) + " (" + ErrorText(errno) + ")";
            return false;
        }
        chunk.resize(n);
        m_pending = Base64Lines(chunk);
        if (n < kFileChunk)
            ++m_current;
    }
    return !m_pending.empty();
}

size_t MessageSource::Read(char* buffer, size_t size)
{
    size_t copied = 0;
    while (copied < size && !Failed()) {
        if (m_pendingOffset == m_pending.size() && !Refill())
            break;
        size_t n = std::min(size - copied, m_pending.size() - m_pendingOffset);
        std::memcpy(buffer + copied, m_pending.data() + m_pendingOffset, n);
        copied += n;
        m_pendingOffset += n;
    }
    return Failed() ? 0 : copied;
}

bool MessageSource::Rewind()
{
    m_current = 0;
    m_pending.clear();
    m_pendingOffset = 0;
    m_error.clear();
    for (Segment& segment : m_segments) {
        if (segment.file && std::fseek(segment.file.get(), 0, SEEK_SET) != 0) {
            m_error = "添付ファイルを読めません: " + ValidUtf8(segment.path) + " (" + ErrorText(errno) + ")";
            return false;
        }
    }
    return true;
}

std::string MessageSource::ReadAll()
{
    std::string all;
    char buffer[4096];
    while (size_t n = Read(buffer, sizeof buffer))
        all.append(buffer, n);
    return all;
}

} // namespace tessaly::mail
