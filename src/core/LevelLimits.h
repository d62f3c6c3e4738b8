#pragma once
// How far a user may set each level field: one table for the window's grid
// and brennix-cli's --level option, and the limiting both apply.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

enum TLevelField : std::uint8_t { lfPrint, lfSpeed, lfPasses, lfPower, lfHeight, lfStyle };
inline constexpr int LevelFieldCount = 6;

// Stored values (speed in hundredths of mm/s, power 0 to 255), both ends included.
struct TFieldRange {
  std::int32_t Minimum, Maximum;
};

// The two front ends differ on purpose. The grid edits what a row shows:
// speeds of 0.01 to 200 mm/s, passes up to 100, and in its layer column the
// shell count of a perimeter level. brennix-cli reaches any level of the
// list through its setters, so a height there is also a reader's depth, and
// its limits only keep values inside 32 bits and a job's passes finite.
struct TLevelFieldInfo {
  TLevelField Field;
  // brennix-cli's --level KEY.
  const char *Key;
  TFieldRange Grid;
  TFieldRange Direct;
};

inline constexpr TLevelFieldInfo LevelFieldTable[LevelFieldCount] = {
    // Print is on or off; brennix-cli reads any number but 0 as on.
    {lfPrint, "print", {0, 1}, {0, 1}},
    {lfSpeed, "speed", {1, 20000}, {1, 100'000'000}},
    {lfPasses, "passes", {0, 100}, {0, 1000}},
    {lfPower, "power", {0, 255}, {0, 255}},
    {lfHeight, "height", {0, 1000}, {-1'000'000, 1'000'000}},
    // The grid steps through the four hatch styles; brennix-cli refuses others.
    {lfStyle, "style", {0, 3}, {0, 3}},
};
static_assert(
    [] {
      for (int i = 0; i < LevelFieldCount; ++i)
        if (LevelFieldTable[i].Field != i)
          return false;
      return true;
    }(),
    "the table lists the fields in the order of their enumeration");

constexpr const TLevelFieldInfo &LevelField(TLevelField field) { return LevelFieldTable[field]; }

// The field of that --level key, if it is one.
constexpr std::optional<TLevelField> LevelFieldByKey(std::string_view key) {
  for (const TLevelFieldInfo &info : LevelFieldTable)
    if (key == info.Key)
      return info.Field;
  return std::nullopt;
}

// A whole number held inside the range.
inline std::int32_t Limited(long long value, TFieldRange range) {
  return static_cast<std::int32_t>(std::clamp<long long>(value, range.Minimum, range.Maximum));
}

// Rounded to nearest, ties to even, then held inside the range; limited
// before the conversion, so a huge entry cannot overflow it.
inline std::int32_t RoundLimited(double value, TFieldRange range) {
  return static_cast<std::int32_t>(std::clamp(std::nearbyint(value),
                                              static_cast<double>(range.Minimum),
                                              static_cast<double>(range.Maximum)));
}
