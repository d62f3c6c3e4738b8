#pragma once
// Byte-order marks of text files, and UTF-16 narrowed to the one-byte text
// the readers parse: their commands are ASCII, so wider characters can only
// stand in the way.

#include <cstdint>
#include <string>
#include <string_view>

enum TByteOrderMark : std::uint8_t { bomNone, bomUtf8, bomUtf16Little, bomUtf16Big };

// The mark the bytes begin with.
TByteOrderMark ByteOrderMarkOf(std::string_view bytes);

// The UTF-16 code units after the two-byte mark, one character each: a unit
// below limit as that byte, any other as substitute. An odd last byte, half
// a unit, is dropped.
std::string NarrowUtf16(std::string_view bytes, bool littleEndian, unsigned limit, char substitute);
