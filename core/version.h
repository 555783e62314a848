#pragma once

namespace twinframe {

inline constexpr const char* kProductName = "Twinframe";
inline constexpr const char* kVersionText = "1.00";
inline constexpr const char* kDescription = "Extracts JPG images from MPO files";

} // namespace twinframe
