#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/stringify.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(Log, WritesExactlyTheFormattedTextWithoutPrefixOrLineEnd) {
  LogCapture capture;
  logPrintf("fetching component %s\n", "a.dll");
  logPrintf("contentLength = %d", -1);
  logPrintf("%s\n", "");
  EXPECT_EQ(capture.text(), "fetching component a.dll\ncontentLength = -1\n");
}

TEST(Log, EndsLinesAsTextModeDoesOnThePlatform) {
  // The raw bytes: the capture removes carriage returns.
  logPrintf("first\n");
  logPrintf("line\n");
  std::string raw = readFile("update.log");
  std::string ending = onWindows() ? "first\r\nline\r\n" : "first\nline\n";
  ASSERT_GE(raw.size(), ending.size());
  EXPECT_EQ(raw.substr(raw.size() - ending.size()), ending);
}

TEST(Stringify, FormatsSignedAndUnsignedIntegersInPlainDecimal) {
  EXPECT_EQ(stringify(-5), "-5");
  EXPECT_EQ(stringify(static_cast<uint32_t>(4294967295u)), "4294967295");
  EXPECT_EQ(stringify(static_cast<int32_t>(INT32_MIN)), "-2147483648");
  EXPECT_EQ(stringify(1234567), "1234567");  // no digit grouping
}

struct Unprintable {};
std::ostream& operator<<(std::ostream& out, const Unprintable&) {
  out.setstate(std::ios::failbit);
  return out;
}

TEST(Stringify, ReportsAStreamFailureAsConversionError) {
  try {
    stringify(Unprintable());
    FAIL() << "no exception";
  } catch (const ConversionError& e) {
    EXPECT_EQ(e, "stringify: conversion error");
  }
}

TEST(Exceptions, AllAreStringsAndFileNotFoundIsAnIOException) {
  auto caughtAsString = [](auto thrower) {
    try {
      thrower();
    } catch (const std::string& text) {
      return text;
    }
    return std::string("not caught");
  };
  EXPECT_EQ(caughtAsString([] { throw XmlException("XML parse error"); }), "XML parse error");
  EXPECT_EQ(caughtAsString([] { throw IOException(std::string("io")); }), "io");
  EXPECT_EQ(caughtAsString([] { throw ConversionError("c"); }), "c");
  EXPECT_EQ(caughtAsString([] { throw ThreadException("t"); }), "t");
  EXPECT_EQ(caughtAsString([] { throw MutexException("m"); }), "m");
  try {
    throw FileNotFoundException("Server not responding");
  } catch (const IOException& e) {
    EXPECT_EQ(e, "Server not responding");
  }
}
