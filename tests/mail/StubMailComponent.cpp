// SPDX-License-Identifier: MIT
// A mail component that lacks SendMailFiles, for the test of a component that
// is there but incomplete.
extern "C" __attribute__((visibility("default"))) const char* RcvMail(const char*, const char*, const char*,
                                                                      const char*, const char*)
{
    return "";
}
