#pragma once

// How this platform writes paths; core/Platform.h includes it through the include directory
// of the platform being built.

namespace Platform {

inline constexpr char kSeparator = '\\';

}  // namespace Platform
