#pragma once
// Helpers shared by the text-file parsers (layouts, parameter files, INI values).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skyh {

// Reads a whole file and cuts it into lines at LF. A CR before the LF is
// dropped (files made on Windows), and lines left empty are dropped.
// False when the file cannot be read (`reason` then says why; see
// ReadWholeFile).
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::string* reason = nullptr);

// The same cutting for text already in memory.
std::vector<std::string> SplitTextLines(std::string_view text);

// Splits at every character of `separators`; empty fields are dropped and
// fields are not trimmed.
std::vector<std::string> SplitFields(std::string_view text, std::string_view separators);

// Number rule of the description files: any character outside
// "-0123456789." gives -1, otherwise the leading decimal integer (atoi-like,
// clamped to the 32-bit range).
int32_t ParseNumberField(std::string_view text);

// Leading decimal integer with an optional sign; 0 when there are no digits.
int32_t LeadingInteger(std::string_view text);

// A hexadecimal digit's value; anything else gives 0.
int HexDigitValue(char c);

// Upper-case hexadecimal text of bytes, two characters each, no separators.
std::string BytesToHex(const uint8_t* data, size_t size);

std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string_view TrimBlanks(std::string_view text);

}  // namespace skyh
