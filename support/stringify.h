#pragma once
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
