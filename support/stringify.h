#pragma once
#include <cstdint>
#include <sstream>
#include <string>

#include "support/Exceptions.h"

template <typename T>
std::string stringify(const T& value) {
  std::ostringstream out;
  out << value;
  if (out.fail() || out.bad()) throw ConversionError("stringify: conversion error");
  return out.str();
}

// Reads a whole decimal number, digits only, of at most `limit`; false for
// anything else (empty, signed, spaced, larger), leaving value unspecified.
inline bool parseUnsigned(const std::string& text, uint64_t limit, uint64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (limit - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}
