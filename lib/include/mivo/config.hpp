// The version, the C++ standard Mivo needs, and MIVO_API, which marks what the library exports.
#ifndef MIVO_MIVO_CONFIG_HPP
#define MIVO_MIVO_CONFIG_HPP

#if !defined(_MSVC_LANG) && __cplusplus < 202002L || defined(_MSVC_LANG) && _MSVC_LANG < 202002L
#error "Mivo needs C++20: compile with -std=c++20 or later"
#else  // the rest only under C++20, so the error above is the only one

#define MIVO_VERSION_MAJOR 4
#define MIVO_VERSION_MINOR 1
#define MIVO_VERSION_PATCH 1

// MIVO_API marks what the library exports; everything else in it is hidden.
#if defined(MIVO_STATIC)
#define MIVO_API
#elif defined(_WIN32)
#if defined(MIVO_BUILDING)
#define MIVO_API __declspec(dllexport)
#else
#define MIVO_API __declspec(dllimport)
#endif
#else
#define MIVO_API __attribute__((visibility("default")))
#endif

namespace mivo {

inline constexpr int version_major = MIVO_VERSION_MAJOR;
inline constexpr int version_minor = MIVO_VERSION_MINOR;
inline constexpr int version_patch = MIVO_VERSION_PATCH;

}  // namespace mivo

#endif  // C++20
#endif  // MIVO_MIVO_CONFIG_HPP
