// SPDX-License-Identifier: MIT
#include "settings/GsxSeq.h"

#include "common/Cp932.h"
#include "common/FileSystem.h"
#include "common/NumericText.h"
#include "common/Random.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

GsxSeq::GsxSeq() = default;

GsxSeq::~GsxSeq()
{
    closeReader();
}

void GsxSeq::MakeKeyTable()
{
    ReseedRandom();
    for (auto& row : m_keyTable) {
        for (auto& key : row)
            key = static_cast<uint8_t>(RoundHalfEven(UniformRandom() * 250.0 + 3.0));
    }
}

bool GsxSeq::CreateSeqFile(const std::string& path)
{
    m_error.clear();
    m_writer = std::make_unique<AtomicFile>(path);
    if (!m_writer->open()) {
        m_error = m_writer->error();
        m_writer.reset();
        return false;
    }
    std::string header(kMagic);
    header.push_back(static_cast<char>(kFormat));
    ReseedRandom();
    for (const auto& row : m_keyTable)
        header.append(reinterpret_cast<const char*>(row.data()), row.size());
    return writeBytes(header);
}

bool GsxSeq::PutSeqString(std::string_view text)
{
    if (text.empty())
        return writeBytes(std::string(1, static_cast<char>(kTagEmpty)));
    std::string bytes = Utf8ToCp932(text);
    if (bytes.size() > kMaxRecordBytes) {
        m_error = "a record of " + std::to_string(bytes.size()) + " bytes is longer than 32767 bytes";
        m_writer.reset();
        return false;
    }
    const int row = static_cast<int>(RoundHalfEven(UniformRandom() * 7.0));
    std::string record;
    record.reserve(4 + bytes.size());
    record.push_back(static_cast<char>(kTagString));
    record.push_back(static_cast<char>(row));
    record.push_back(static_cast<char>(bytes.size() / 256));
    record.push_back(static_cast<char>(bytes.size() % 256));
    record += ScrambleBytes(bytes, row, m_keyTable);
    return writeBytes(record);
}

bool GsxSeq::CloseSeqFile()
{
    if (!writeBytes(std::string(1, static_cast<char>(kTagEnd))))
        return false;
    bool ok = m_writer->commit();
    if (!ok)
        m_error = m_writer->error();
    m_writer.reset();
    return ok;
}

bool GsxSeq::writeBytes(std::string_view bytes)
{
    if (!m_writer) {
        if (m_error.empty())
            m_error = "no scrambled file is being written";
        return false;
    }
    if (!m_writer->write(bytes)) {
        m_error = m_writer->error();
        m_writer.reset();
        return false;
    }
    return true;
}

std::string GsxSeq::ScrambleBytes(std::string_view bytes, int row, const KeyTable& table)
{
    std::string out(bytes);
    const auto& keys = table[static_cast<size_t>(row)];
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(static_cast<uint8_t>(out[i]) ^ keys[i % keys.size()]);
    return out;
}

int GsxSeq::OpenSeqFile(const std::string& path)
{
    closeReader();
    m_error.clear();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return kNoFile;
    if (S_ISDIR(st.st_mode)) {
        m_error = path + " is a folder, not a file";
        return kFailed;
    }
    // Only a regular file is read: never through a link, never waiting on
    // a FIFO put in its place.
    std::string reason;
    const int fd = OpenRegularFile(path, &reason);
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (!file) {
        if (fd >= 0)
            ::close(fd);
        m_error = path + " を開けません: " + (fd < 0 ? reason : ErrorText(errno));
        return kFailed;
    }
    char magic[12];
    if (std::fread(magic, 1, sizeof magic, file) != sizeof magic ||
        Cp932ToUtf8(std::string_view(magic, sizeof magic)) != kMagic) {
        std::fclose(file);
        return kBadMagic;
    }
    int format = std::fgetc(file);
    if (format != kFormat) {
        std::fclose(file);
        return kBadFormat;
    }
    m_reader = file;
    m_readPath = path;
    KeyTable table{};
    for (auto& row : table) {
        if (!readBytes(row.data(), row.size()))
            return failRead("the key table of " + path + " is incomplete");
    }
    m_keyTable = table;
    return kOpened;
}

int GsxSeq::GetSeqString(std::string* text)
{
    if (!m_reader) {
        m_error = "no scrambled file is open for reading";
        return kFailed;
    }
    int tag = std::fgetc(m_reader);
    if (tag == EOF)
        return failRead(m_readPath + " ends before its end tag");
    if (tag == kTagEmpty) {
        text->clear();
        return kRecord;
    }
    if (tag == kTagEnd) {
        closeReader();
        return kEnd;
    }
    if (tag != kTagString)
        return kUnknownTag;
    int row = std::fgetc(m_reader);
    if (row == EOF)
        return failRead(m_readPath + " ends inside a record");
    if (row > 7)
        return kBadRow;
    uint8_t length[2];
    if (!readBytes(length, sizeof length))
        return failRead(m_readPath + " ends inside a record");
    if (length[0] >= 0x80)
        return failRead("a record length in " + m_readPath + " is out of range");
    const size_t size = length[0] * 256u + length[1];
    if (size == 0)
        return failRead("a record in " + m_readPath + " has the length 0");
    std::string bytes(size, '\0');
    if (!readBytes(bytes.data(), size))
        return failRead(m_readPath + " ends inside a record");
    *text = Cp932ToUtf8(ScrambleBytes(bytes, row, m_keyTable));
    return kRecord;
}

bool GsxSeq::readBytes(void* buffer, size_t size)
{
    return std::fread(buffer, 1, size, m_reader) == size;
}

int GsxSeq::failRead(std::string message)
{
    if (m_reader && std::ferror(m_reader))
        message = "cannot read " + m_readPath + ": " + ErrorText(errno);
    m_error = std::move(message);
    closeReader();
    return kFailed;
}

void GsxSeq::closeReader()
{
    if (m_reader) {
        std::fclose(m_reader);
        m_reader = nullptr;
    }
}

} // namespace tessaly
