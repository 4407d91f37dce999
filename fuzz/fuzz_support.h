#pragma once
// What the fuzz targets share: stopping on a broken invariant, and cutting a stream into the
// pieces it may arrive in.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace kestova::fuzz {

// A broken invariant: said on standard error, then an abort, which libFuzzer reports as a
// finding and keeps the input of.
inline void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// `stream` in pieces of 1 to `longest` bytes, their sizes drawn from `seed`.
inline std::vector<std::string_view> Pieces(std::string_view stream, uint32_t seed, std::size_t longest) {
  std::vector<std::string_view> pieces;
  for (std::size_t at = 0; at < stream.size();) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t length = std::min<std::size_t>(1 + (seed >> 16) % longest, stream.size() - at);
    pieces.push_back(stream.substr(at, length));
    at += length;
  }
  return pieces;
}

}  // namespace kestova::fuzz
