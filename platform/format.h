// A printf-style formatter with the Windows class library's meaning of the conversions, used
// by CString::Format and FormatA.
//
// Arguments are captured with their types, so a mismatch between a conversion and its
// argument prints something wrong but never reads memory it should not. In a wide format
// "%s" takes wide text and "%S" narrow text; in a narrow format the other way round; "%ls"
// and "%hs" are always wide and narrow. Length modifiers: h, hh, l (32 bits, as on Windows),
// ll, I64, I32, I, z, j, t, L. Conversions: d i u o x X c C s S f F e E g G a A p %.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

class CString;

struct FmtArg {
  enum class Kind : uint8_t { Int, Uint, Double, Wide, Narrow, Pointer };
  Kind kind;
  union {
    int64_t i;
    uint64_t u;
    double d;
    const char16_t* ws;
    const char* ns;
    const void* p;
  };
  size_t len = 0;  // length of ws/ns; SIZE_MAX = zero-terminated

  FmtArg(bool v) : kind(Kind::Int), i(v) {}
  FmtArg(char v) : kind(Kind::Int), i(v) {}
  FmtArg(signed char v) : kind(Kind::Int), i(v) {}
  FmtArg(unsigned char v) : kind(Kind::Uint), u(v) {}
  FmtArg(char16_t v) : kind(Kind::Uint), u(v) {}
  FmtArg(char32_t v) : kind(Kind::Uint), u(v) {}
  FmtArg(wchar_t v) : kind(Kind::Uint), u(uint32_t(v)) {}
  FmtArg(short v) : kind(Kind::Int), i(v) {}
  FmtArg(unsigned short v) : kind(Kind::Uint), u(v) {}
  FmtArg(int v) : kind(Kind::Int), i(v) {}
  FmtArg(unsigned v) : kind(Kind::Uint), u(v) {}
  FmtArg(long v) : kind(Kind::Int), i(v) {}
  FmtArg(unsigned long v) : kind(Kind::Uint), u(v) {}
  FmtArg(long long v) : kind(Kind::Int), i(v) {}
  FmtArg(unsigned long long v) : kind(Kind::Uint), u(v) {}
  FmtArg(float v) : kind(Kind::Double), d(v) {}
  FmtArg(double v) : kind(Kind::Double), d(v) {}
  FmtArg(const char16_t* v) : kind(Kind::Wide), ws(v), len(SIZE_MAX) {}
  FmtArg(char16_t* v) : kind(Kind::Wide), ws(v), len(SIZE_MAX) {}
  FmtArg(const char* v) : kind(Kind::Narrow), ns(v), len(SIZE_MAX) {}
  FmtArg(char* v) : kind(Kind::Narrow), ns(v), len(SIZE_MAX) {}
  FmtArg(const std::u16string& v) : kind(Kind::Wide), ws(v.data()), len(v.size()) {}
  FmtArg(std::u16string_view v) : kind(Kind::Wide), ws(v.data()), len(v.size()) {}
  FmtArg(const std::string& v) : kind(Kind::Narrow), ns(v.data()), len(v.size()) {}
  FmtArg(std::string_view v) : kind(Kind::Narrow), ns(v.data()), len(v.size()) {}
  FmtArg(const CString& v);
  FmtArg(const void* v) : kind(Kind::Pointer), p(v) {}
  FmtArg(std::nullptr_t) : kind(Kind::Pointer), p(nullptr) {}
  template <typename E>
    requires std::is_enum_v<E>
  FmtArg(E v) : FmtArg(static_cast<std::underlying_type_t<E>>(v)) {}
};

// Formats with an argument array; the building block of the variadic front ends below.
std::u16string FormatWideArgs(std::u16string_view fmt, const FmtArg* args, size_t count);
std::string FormatNarrowArgs(std::string_view fmt, const FmtArg* args, size_t count);

template <typename... Args>
std::u16string FormatW(std::u16string_view fmt, const Args&... args) {
  const FmtArg list[] = {FmtArg(args)..., FmtArg(0)};
  return FormatWideArgs(fmt, list, sizeof...(Args));
}

template <typename... Args>
std::string FormatA(std::string_view fmt, const Args&... args) {
  const FmtArg list[] = {FmtArg(args)..., FmtArg(0)};
  return FormatNarrowArgs(fmt, list, sizeof...(Args));
}
