// path_strings.h - small utilities over NUL-terminated path strings.
//
// Indexes and counts are 8-bit values: the strings these work on are names
// and paths of at most 255 characters.  Where a routine says src and dst may
// be the same buffer, it moves bytes as memmove does.
#pragma once

#include <cstdint>

namespace qm {

// dst becomes src, with a backslash added when src is not empty and ends in
// neither a backslash nor a colon.  dst needs room for the length of src
// plus 2 bytes.  Returns dst.
char *AppendBackslash(const char *src, char *dst);

// The index of the first c within the first 255 characters of text; 255
// when there is none.
std::uint8_t FindChar(char c, const char *text);

// dst becomes at most count characters of src from index start on; empty
// when count is 0 or start is not below the length of src.  dst needs room
// for count plus 1 bytes.  Returns dst.
char *SubString(const char *src, std::uint8_t start, std::uint8_t count, char *dst);

// Removes count characters from index pos on, in place; the rest of the text
// moves left.  Nothing is removed at or past the end: a count reaching past
// the end removes the rest of the text.  Returns text.
char *DeleteChars(char *text, std::uint8_t pos, std::uint8_t count);

// dst becomes the part of src after its last backslash or colon (all of src
// when there is neither).  src and dst may be the same buffer.  Returns dst.
char *StripToFileName(const char *src, char *dst);

}  // namespace qm
