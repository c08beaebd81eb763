// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tessaly::test {

/// A fresh folder under $TMPDIR (or /tmp), removed with its contents when
/// the object goes away.
class TempFolder final {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    /// path() + "/" + name
    std::string file(std::string_view name) const;

private:
    std::string m_path;
};

/// Writes `bytes` to `path`, replacing it. Fails the current test on error.
void WriteFile(const std::string& path, std::string_view bytes);
/// The whole content of `path`, or "" when it cannot be read.
std::string ReadFile(const std::string& path);

} // namespace tessaly::test
