// A square grid with indices 0..Max in both directions, indexed (column, row).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv {

template <int Max, class T = int32_t>
class Grid {
 public:
  static constexpr int kMax = Max;
  static constexpr int kSide = Max + 1;
  static constexpr bool Inside(int x, int y) { return x >= 0 && x <= Max && y >= 0 && y <= Max; }
  // Unchecked: callers check with Inside first.
  T& at(int x, int y) { return cells_[static_cast<size_t>(y) * kSide + static_cast<size_t>(x)]; }
  T at(int x, int y) const { return cells_[static_cast<size_t>(y) * kSide + static_cast<size_t>(x)]; }
  // The default value outside the grid.
  T get(int x, int y) const { return Inside(x, y) ? at(x, y) : T{}; }
  // Ignored outside the grid.
  void set(int x, int y, T v) {
    if (Inside(x, y)) at(x, y) = v;
  }
  void Fill(T v) { cells_.fill(v); }
  T* data() { return cells_.data(); }
  const T* data() const { return cells_.data(); }

 private:
  std::array<T, static_cast<size_t>(kSide) * kSide> cells_{};
};

constexpr int kTileGridMax = 100;
constexpr int kCellGridMax = 200;

}  // namespace kv
