// Part of the module of FFmpeg's libraries (ffmpeg_module.h). A picture decoded with libavcodec
// (PNG, JPEG of any kind, GIF, BMP, WebP), scaled with libswscale and encoded as a baseline JPEG,
// which every car stereo and head unit shows.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace cvnhost {

// The picture at most `longSide` pixels on its long side (never enlarged), aspect kept, as a baseline
// JPEG; a picture with transparency is laid on white. Nothing when it cannot be decoded or encoded:
// FFmpeg's reason is among its messages, shown with --verbose.
std::optional<std::vector<uint8_t>> scaledPicture(const std::vector<uint8_t>& picture, int longSide);

} // namespace cvnhost
