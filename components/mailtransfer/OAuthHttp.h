// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace tessaly::mail {

/// The answer of a token endpoint.
struct HttpAnswer {
    long status = 0;  ///< the HTTP status; 0 when no answer came
    std::string body; ///< the answer's body, or why none came (status 0)
};

/// POSTs `form` (application/x-www-form-urlencoded) to `url` (https, or
/// http to this machine) and returns the answer. TLS is verified against
/// the system's store; redirects are not followed; the whole exchange is
/// bounded by `timeoutSeconds` and the body by 256 KiB. Nothing of the
/// form or the answer is logged: both carry secrets.
HttpAnswer PostForm(const std::string& url, const std::string& form, long timeoutSeconds = 30);

} // namespace tessaly::mail
