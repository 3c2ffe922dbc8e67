#pragma once

// The columns of the shot table, in the order a recorded shot fills them.
namespace shot_columns {
inline constexpr int kNumber = 0;
inline constexpr int kDateTime = 1;
inline constexpr int kMakeModel = 2;
inline constexpr int kWeight = 3;
inline constexpr int kFps = 4;
inline constexpr int kMps = 5;
inline constexpr int kFtLbf = 6;
inline constexpr int kJoules = 7;
inline constexpr int kIpsc = 8;
} // namespace shot_columns
