// Tessaly: what happens once at start, before any window exists.
#include "app/startup.h"

#include "io/format_registry.h"

namespace tessaly {

void InitializeImageLibrary() { (void)FindFormatByType(ftUnknown); }

}  // namespace tessaly
