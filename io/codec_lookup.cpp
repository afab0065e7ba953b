// Tessaly: codec lookup with scoped substitutes.
#include "io/codec_lookup.h"

#include <algorithm>
#include <vector>

namespace tessaly {

namespace {

std::vector<const TInternalCodec*>& Substitutes() {
  static std::vector<const TInternalCodec*> substitutes;
  return substitutes;
}

}  // namespace

const TInternalCodec* LookupCodec(int file_type) {
  const auto& substitutes = Substitutes();
  for (auto it = substitutes.rbegin(); it != substitutes.rend(); ++it)
    if ((*it)->FileType == file_type) return *it;
  return FindInternalCodec(file_type);
}

TCodecSubstitute::TCodecSubstitute(const TInternalCodec& codec) : codec_(codec) {
  Substitutes().push_back(&codec_);
}

TCodecSubstitute::~TCodecSubstitute() {
  auto& substitutes = Substitutes();
  substitutes.erase(std::remove(substitutes.begin(), substitutes.end(), &codec_), substitutes.end());
}

}  // namespace tessaly
