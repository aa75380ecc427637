// Compiler quirks the sources work around, in one place.
#pragma once

// GCC 12 at -O2 and above reports a possible overlap (-Wrestrict) inside
// std::string when a short literal is joined with a temporary string or
// assigned to a member: the buffers are distinct objects, so the copy never
// overlaps.
// These bracket the statements it hits; other compilers see nothing.
#if defined(__GNUC__) && !defined(__clang__)
#define TESSARINE_GCC_FALSE_RESTRICT_BEGIN \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wrestrict\"")
#define TESSARINE_GCC_FALSE_RESTRICT_END _Pragma("GCC diagnostic pop")
#else
#define TESSARINE_GCC_FALSE_RESTRICT_BEGIN
#define TESSARINE_GCC_FALSE_RESTRICT_END
#endif
