// SPDX-License-Identifier: MIT
#pragma once

namespace tessaly {

/// A uniform pseudo-random value in [0, 1) from the process-wide source
/// that key tables, record rows and random passwords draw from.
/// Thread-safe.
double UniformRandom();

/// Mixes the current time into the process-wide source, as is done before
/// every scrambled file is written.
void ReseedRandom();

} // namespace tessaly
