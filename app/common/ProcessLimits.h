// SPDX-License-Identifier: MIT
#pragma once

namespace tessaly {

/// What both programs set up first: a file-size limit turns into a write
/// error that can be reported instead of ending the process (SIGXFSZ is
/// ignored), and the soft limit of open files is raised to the hard one,
/// so that a mail with many attachments never runs out of descriptors.
void PrepareProcessLimits();

} // namespace tessaly
