// Mivo: raw bytes to and from lowercase hexadecimal text, and hex dumps of that text.
//
// Every operation is a pure function of its arguments (apart from the two that write to a
// stream), reentrant and safe to call from any number of threads at once, also from a host's
// static initialisers. The library fails in one way of its own: `mivo::decode_error`, a
// `std::invalid_argument` whose `what()` is exactly one of these two texts:
//
//   "Mivo.to_char: N is an invalid char"   N: the rejected byte as a decimal 0-255
//   "Hex conversion: Hex string cannot have an odd number of characters."
//
// Memory exhaustion surfaces as `std::bad_alloc` and impossible result sizes as
// `std::length_error`; a slice reaching past its buffer, and a checked index outside an array
// or slice, as `std::out_of_range`. No operation ever hands back a partial result.
//
// An empty span or string_view is empty input whatever its data pointer, null included.
//
// This header gathers the topic headers, each a reference of its own:
//   <mivo/codec.hpp>      bytes to hex and back, hex as people write it, hex_view
//   <mivo/dump.hpp>       dump layouts and hexdump_s
//   <mivo/streaming.hpp>  dump_writer, decode_writer, dump_reader, c_array_reader
//   <mivo/search.hpp>     byte_pattern, searcher, diff
//   <mivo/literals.hpp>   encode_array, decode_array, "..."_hex
// and <mivo/config.hpp>, which holds the version.
#ifndef MIVO_MIVO_HPP
#define MIVO_MIVO_HPP

#include "mivo/config.hpp"
#if defined(MIVO_VERSION_MAJOR)  // under C++20 only, so that config's error is the only one
#include "mivo/codec.hpp"
#include "mivo/dump.hpp"
#include "mivo/literals.hpp"
#include "mivo/search.hpp"
#include "mivo/streaming.hpp"
#endif

#endif  // MIVO_MIVO_HPP
