// SPDX-License-Identifier: MIT
#include "ZipCommandLine.h"

#include "common/PathField.h"

#include <iterator>

namespace tessaly::zip {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

/// Reads one command line token by token, byte by byte: UTF-8 never uses
/// the bytes of a blank or a double quote inside a character, and any other
/// bytes of a path are kept as they are.
class Scanner final {
public:
    explicit Scanner(std::string_view line) : m_line(line) {}

    /// Skips blanks; true when nothing but blanks is left.
    bool atEnd()
    {
        while (m_pos < m_line.size() && IsBlank(m_line[m_pos]))
            ++m_pos;
        return m_pos >= m_line.size();
    }

    char peek() const { return m_line[m_pos]; }

    /// Reads a token that starts with a double quote; "" inside stands for one.
    bool readQuoted(std::string* text, std::string* error)
    {
        text->clear();
        size_t i = m_pos + 1;
        for (;;) {
            if (i >= m_line.size()) {
                *error = "閉じる二重引用符がありません。";
                return false;
            }
            if (m_line[i] != '"') {
                text->push_back(m_line[i++]);
            } else if (i + 1 < m_line.size() && m_line[i + 1] == '"') {
                text->push_back('"');
                i += 2;
            } else {
                ++i;
                break;
            }
        }
        if (i < m_line.size() && !IsBlank(m_line[i])) {
            *error = "二重引用符で囲んだパスの直後に空白がありません。";
            return false;
        }
        m_pos = i;
        return true;
    }

    /// Reads a token up to the next blank.
    std::string_view readBare()
    {
        const size_t start = m_pos;
        while (m_pos < m_line.size() && !IsBlank(m_line[m_pos]))
            ++m_pos;
        return m_line.substr(start, m_pos - start);
    }

    /// Reads the password that follows "-P" and one blank.
    bool readPassword(std::string* password, std::string* error)
    {
        if (m_pos >= m_line.size() || !IsBlank(m_line[m_pos])) {
            *error = "-P の後にパスワードがありません。";
            return false;
        }
        const size_t start = m_pos + 1;
        const size_t end = passwordEnd(start);
        password->clear();
        for (size_t i = start; i < end; ++i) {
            password->push_back(m_line[i]);
            if (m_line[i] == '"' && i + 1 < end && m_line[i + 1] == '"')
                ++i;
        }
        m_pos = end;
        if (password->empty()) {
            *error = "-P の後のパスワードが空です。";
            return false;
        }
        return true;
    }

private:
    /// The password ends at the first blank that opens a quoted path, so a
    /// password may hold blanks. Without a quoted path after it, it is one word.
    size_t passwordEnd(size_t start) const
    {
        for (size_t i = start; i + 1 < m_line.size(); ++i) {
            if (IsBlank(m_line[i]) && m_line[i + 1] == '"' && (i + 2 >= m_line.size() || m_line[i + 2] != '"'))
                return i;
        }
        size_t i = start;
        while (i < m_line.size() && !IsBlank(m_line[i]))
            ++i;
        return i;
    }

    std::string_view m_line;
    size_t m_pos = 0;
};

/// Applies one option token such as "-r" or "-rvj"; sets `wantsPassword`
/// when it ends in "P".
bool ApplyOption(std::string_view token, ZipCommand* command, bool* wantsPassword, std::string* error)
{
    if (token.size() < 2) {
        *error = "オプション文字のない \"-\" があります。";
        return false;
    }
    for (size_t i = 1; i < token.size(); ++i) {
        const char letter = token[i];
        if (letter == 'r') {
            command->recurse = true;
        } else if (letter == 'v') {
            command->verbose = true;
        } else if (letter == 'j') {
            command->junkPaths = true;
        } else if (letter == 'P' && i + 1 == token.size()) {
            *wantsPassword = true;
        } else {
            const bool printable = letter > ' ' && letter < 0x7f;
            *error = printable ? "不明なオプションです: -" + std::string(1, letter) : "不明なオプションがあります。";
            return false;
        }
    }
    return true;
}

bool AddPath(std::string_view bytes, std::vector<std::string>* paths, std::string* error)
{
    if (bytes.empty()) {
        *error = "空のパスがあります。";
        return false;
    }
    if (bytes.find('\0') != std::string_view::npos) {
        *error = "NUL 文字を含むパスがあります。";
        return false;
    }
    paths->emplace_back(bytes);
    return true;
}

bool ApplyPaths(std::vector<std::string> paths, ZipCommand* command, std::string* error)
{
    if (paths.empty()) {
        *error = "書庫ファイル名がありません。";
        return false;
    }
    if (paths.front().front() != '/') {
        *error = "書庫ファイル名は絶対パスで指定してください: " + ValidUtf8(paths.front());
        return false;
    }
    command->archivePath = std::move(paths.front());
    command->inputs.assign(std::make_move_iterator(paths.begin() + 1), std::make_move_iterator(paths.end()));
    return true;
}

bool ApplyOptionToken(Scanner& scanner, std::string_view token, ZipCommand* command, std::string* error)
{
    bool wantsPassword = false;
    if (!ApplyOption(token, command, &wantsPassword, error))
        return false;
    if (!wantsPassword)
        return true;
    if (command->encrypt) {
        *error = "-P が二度指定されています。";
        return false;
    }
    command->encrypt = true;
    return scanner.readPassword(&command->password, error);
}

} // namespace

bool ParseZipCommandLine(std::string_view line, ZipCommand* command, std::string* error)
{
    *command = ZipCommand{};
    Scanner scanner(line);
    std::vector<std::string> paths;
    while (!scanner.atEnd()) {
        if (scanner.peek() == '"') {
            std::string bytes;
            if (!scanner.readQuoted(&bytes, error) || !AddPath(bytes, &paths, error))
                return false;
            continue;
        }
        const std::string_view token = scanner.readBare();
        if (token.front() == '-') {
            if (!ApplyOptionToken(scanner, token, command, error))
                return false;
        } else if (token.find('"') != std::string_view::npos) {
            *error = "パスの途中に二重引用符があります。";
            return false;
        } else if (!AddPath(token, &paths, error)) {
            return false;
        }
    }
    return ApplyPaths(std::move(paths), command, error);
}

} // namespace tessaly::zip
