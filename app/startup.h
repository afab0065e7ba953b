// Tessaly: what happens once at start, before any window exists.
#pragma once

namespace tessaly {

/// Builds the format registry in its fixed order, so that nothing later pays
/// for it or races it.
void InitializeImageLibrary();

}  // namespace tessaly
