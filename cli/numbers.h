// numbers.h: the numbers a user types on the command line.
#pragma once

#include <cstdint>
#include <string>

// A whole number in decimal ("7936", "-8"), hexadecimal with "0x" or "$"
// ("0x1F00", "$1f00") or binary with "%" ("%1010"), optionally signed, with
// nothing after it. Returns false for anything else or a value outside
// int64.
bool parse_number(const std::string& text, int64_t& value);

// What a number or position read: a value, text that is no number at all,
// or a number too large for 64 bits.
enum class Parsed { value, not_a_number, too_large };
Parsed read_number(const std::string& text, int64_t& value);
Parsed read_bit_position(const std::string& text, int64_t& bit);

// A position "BYTE" or "BYTE.BIT" (BIT 0 to 7; BYTE any number parse_number
// reads, at least 0): the bit position BYTE * 8 + BIT. Returns false for
// anything else or a position too large for 64 bits.
bool parse_bit_position(const std::string& text, int64_t& bit);

// A decimal fraction ("0.25", "1", ".5", "3."), optionally signed, with
// nothing after it: no exponent, "inf" or "nan". Returns false for anything
// else.
bool parse_decimal(const std::string& text, double& value);

// Two numbers separated by a comma or an "x" ("8,16", "8x16").
bool parse_pair(const std::string& text, int64_t& first, int64_t& second);
