#include "platform/format.h"

#include <cstdio>
#include <cstring>

#include "platform/cstring.h"
#include "platform/textconv.h"

FmtArg::FmtArg(const CString& v) : kind(Kind::Wide), ws(v.GetString()), len(size_t(v.GetLength())) {}

namespace {

enum class Len { None, Short, Char, Long32, Long64, LongDouble };

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = -1;
  int precision = -1;
  Len len = Len::None;
  bool forceWide = false, forceNarrow = false;
  char conv = 0;
};

template <typename Ch>
struct Out {
  std::basic_string<Ch>& s;
  void PutAscii(const char* p, size_t n) {
    for (size_t k = 0; k < n; ++k) s.push_back(Ch(uint8_t(p[k])));
  }
  void Pad(size_t n, Ch c) { s.append(n, c); }
};

uint64_t ArgBits(const FmtArg& a) {
  switch (a.kind) {
    case FmtArg::Kind::Int: return uint64_t(a.i);
    case FmtArg::Kind::Uint: return a.u;
    case FmtArg::Kind::Double: return uint64_t(int64_t(a.d));
    case FmtArg::Kind::Pointer: return uint64_t(uintptr_t(a.p));
    default: return uint64_t(uintptr_t(a.ws));
  }
}

// Builds the C printf spec for one numeric conversion and lets snprintf do the digits.
std::string NumericSpec(const Spec& sp, const char* lenmod, char conv) {
  std::string f = "%";
  if (sp.left) f += '-';
  if (sp.plus) f += '+';
  if (sp.space) f += ' ';
  if (sp.alt) f += '#';
  if (sp.zero) f += '0';
  if (sp.width >= 0) f += std::to_string(sp.width);
  if (sp.precision >= 0) f += "." + std::to_string(sp.precision);
  f += lenmod;
  f += conv;
  return f;
}

std::string FormatNumber(const Spec& sp, const FmtArg* a) {
  char buf[512];
  int n = 0;
  switch (sp.conv) {
    case 'd':
    case 'i': {
      uint64_t bits = a ? ArgBits(*a) : 0;
      long long v;
      if (sp.len == Len::Long64) v = (long long)bits;
      else if (sp.len == Len::Short) v = (short)bits;
      else if (sp.len == Len::Char) v = (signed char)bits;
      else v = (int32_t)(uint32_t)bits;
      n = snprintf(buf, sizeof buf, NumericSpec(sp, "ll", 'd').c_str(), v);
      break;
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
      uint64_t bits = a ? ArgBits(*a) : 0;
      unsigned long long v;
      if (sp.len == Len::Long64) v = bits;
      else if (sp.len == Len::Short) v = (uint16_t)bits;
      else if (sp.len == Len::Char) v = (uint8_t)bits;
      else v = (uint32_t)bits;
      n = snprintf(buf, sizeof buf, NumericSpec(sp, "ll", sp.conv).c_str(), v);
      break;
    }
    case 'p': {
      Spec p = sp;
      p.precision = 16;
      p.alt = false;
      uint64_t bits = a ? ArgBits(*a) : 0;
      n = snprintf(buf, sizeof buf, NumericSpec(p, "ll", 'X').c_str(), (unsigned long long)bits);
      break;
    }
    default: {  // floating point
      double v = 0;
      if (a) {
        if (a->kind == FmtArg::Kind::Double) v = a->d;
        else if (a->kind == FmtArg::Kind::Int) v = double(a->i);
        else if (a->kind == FmtArg::Kind::Uint) v = double(a->u);
      }
      n = snprintf(buf, sizeof buf, NumericSpec(sp, "", sp.conv).c_str(), v);
      break;
    }
  }
  if (n < 0) n = 0;
  if (n >= int(sizeof buf)) n = int(sizeof buf) - 1;
  return std::string(buf, size_t(n));
}

template <typename Ch>
void PutPadded(Out<Ch>& out, const Spec& sp, const std::basic_string<Ch>& body) {
  size_t w = sp.width > 0 ? size_t(sp.width) : 0;
  if (!sp.left && body.size() < w) out.Pad(w - body.size(), Ch(sp.zero ? '0' : ' '));
  out.s += body;
  if (sp.left && body.size() < w) out.Pad(w - body.size(), Ch(' '));
}

template <typename Ch>
std::basic_string<Ch> StringArg(const FmtArg* a, bool wantWide, int precision) {
  std::basic_string<Ch> r;
  auto cut = [&](size_t n) { return precision >= 0 && size_t(precision) < n ? size_t(precision) : n; };
  if (!a || ((a->kind == FmtArg::Kind::Wide || a->kind == FmtArg::Kind::Narrow) && a->ws == nullptr)) {
    const char* nul = "(null)";
    for (const char* p = nul; *p; ++p) r.push_back(Ch(*p));
    return r.substr(0, cut(r.size()));
  }
  if (a->kind == FmtArg::Kind::Wide) {
    size_t n = a->len == SIZE_MAX ? std::char_traits<char16_t>::length(a->ws) : a->len;
    std::u16string_view v(a->ws, n);
    if constexpr (sizeof(Ch) == 2) {
      return std::basic_string<Ch>(v.substr(0, cut(v.size())));
    } else {
      return Utf16ToAnsi(v.substr(0, cut(v.size())));
    }
  }
  if (a->kind == FmtArg::Kind::Narrow) {
    size_t n = a->len == SIZE_MAX ? strlen(a->ns) : a->len;
    std::string_view v(a->ns, n);
    if constexpr (sizeof(Ch) == 2) {
      std::u16string w = AnsiToUtf16(v);
      return w.substr(0, cut(w.size()));
    } else {
      return std::string(v.substr(0, cut(v.size())));
    }
  }
  (void)wantWide;
  // A number where text was expected: print it rather than read through it.
  std::string num = std::to_string(a->kind == FmtArg::Kind::Int ? a->i : int64_t(ArgBits(*a)));
  for (char c : num) r.push_back(Ch(c));
  return r;
}

template <typename Ch>
std::basic_string<Ch> FormatImpl(std::basic_string_view<Ch> fmt, const FmtArg* args, size_t count) {
  std::basic_string<Ch> result;
  Out<Ch> out{result};
  size_t next = 0;
  auto take = [&]() -> const FmtArg* { return next < count ? &args[next++] : nullptr; };
  const bool wideFormat = sizeof(Ch) == 2;
  size_t i = 0;
  const size_t n = fmt.size();
  while (i < n) {
    Ch c = fmt[i];
    if (c != Ch('%')) {
      result.push_back(c);
      ++i;
      continue;
    }
    size_t start = i++;
    if (i < n && fmt[i] == Ch('%')) {
      result.push_back(Ch('%'));
      ++i;
      continue;
    }
    Spec sp;
    for (; i < n; ++i) {
      Ch f = fmt[i];
      if (f == Ch('-')) sp.left = true;
      else if (f == Ch('+')) sp.plus = true;
      else if (f == Ch(' ')) sp.space = true;
      else if (f == Ch('#')) sp.alt = true;
      else if (f == Ch('0')) sp.zero = true;
      else break;
    }
    if (i < n && fmt[i] == Ch('*')) {
      const FmtArg* a = take();
      int w = a ? int(ArgBits(*a)) : 0;
      if (w < 0) sp.left = true, w = -w;
      sp.width = w;
      ++i;
    } else {
      while (i < n && fmt[i] >= Ch('0') && fmt[i] <= Ch('9')) {
        sp.width = (sp.width < 0 ? 0 : sp.width) * 10 + int(fmt[i] - Ch('0'));
        if (sp.width > 4096) sp.width = 4096;
        ++i;
      }
    }
    if (i < n && fmt[i] == Ch('.')) {
      ++i;
      sp.precision = 0;
      if (i < n && fmt[i] == Ch('*')) {
        const FmtArg* a = take();
        int p = a ? int(ArgBits(*a)) : 0;
        sp.precision = p < 0 ? -1 : p;
        ++i;
      } else {
        while (i < n && fmt[i] >= Ch('0') && fmt[i] <= Ch('9')) {
          sp.precision = sp.precision * 10 + int(fmt[i] - Ch('0'));
          if (sp.precision > 4096) sp.precision = 4096;
          ++i;
        }
      }
    }
    // Length modifiers.
    if (i < n) {
      Ch f = fmt[i];
      if (f == Ch('h')) {
        ++i;
        sp.len = Len::Short;
        sp.forceNarrow = true;
        if (i < n && fmt[i] == Ch('h')) sp.len = Len::Char, ++i;
      } else if (f == Ch('l')) {
        ++i;
        sp.len = Len::Long32;
        sp.forceWide = true;
        if (i < n && fmt[i] == Ch('l')) sp.len = Len::Long64, sp.forceWide = false, ++i;
      } else if (f == Ch('L')) {
        ++i;
        sp.len = Len::LongDouble;
      } else if (f == Ch('z') || f == Ch('j') || f == Ch('t')) {
        ++i;
        sp.len = Len::Long64;
      } else if (f == Ch('I')) {
        ++i;
        if (i + 1 < n && fmt[i] == Ch('6') && fmt[i + 1] == Ch('4')) sp.len = Len::Long64, i += 2;
        else if (i + 1 < n && fmt[i] == Ch('3') && fmt[i + 1] == Ch('2')) sp.len = Len::Long32, i += 2;
        else sp.len = Len::Long64;
      }
    }
    if (i >= n) {  // a dangling '%...': copy it as it stands
      for (size_t k = start; k < n; ++k) result.push_back(fmt[k]);
      break;
    }
    Ch conv = fmt[i++];
    sp.conv = char(conv);
    switch (conv) {
      case Ch('d'): case Ch('i'): case Ch('u'): case Ch('o'): case Ch('x'): case Ch('X'):
      case Ch('f'): case Ch('F'): case Ch('e'): case Ch('E'): case Ch('g'): case Ch('G'):
      case Ch('a'): case Ch('A'): case Ch('p'): {
        std::string digits = FormatNumber(sp, take());
        out.PutAscii(digits.data(), digits.size());
        break;
      }
      case Ch('c'): case Ch('C'): {
        const FmtArg* a = take();
        uint32_t v = a ? uint32_t(ArgBits(*a)) : 0;
        bool narrowArg = sp.forceNarrow || (!sp.forceWide && ((conv == Ch('c')) != wideFormat));
        std::basic_string<Ch> body;
        if (narrowArg) {
          char ch = char(v & 0xFF);
          if constexpr (sizeof(Ch) == 2) body = AnsiToUtf16(std::string_view(&ch, 1));
          else body.push_back(ch);
        } else {
          char16_t wc = char16_t(v & 0xFFFF);
          if constexpr (sizeof(Ch) == 2) body.push_back(wc);
          else body = Utf16ToAnsi(std::u16string_view(&wc, 1));
        }
        Spec s2 = sp;
        s2.zero = false;
        PutPadded(out, s2, body);
        break;
      }
      case Ch('s'): case Ch('S'): {
        bool wantWide = sp.forceWide || (!sp.forceNarrow && ((conv == Ch('s')) == wideFormat));
        Spec s2 = sp;
        s2.zero = false;
        PutPadded(out, s2, StringArg<Ch>(take(), wantWide, sp.precision));
        break;
      }
      case Ch('n'):
        take();  // never written through
        break;
      default:  // unknown conversion: copy the directive as it stands
        for (size_t k = start; k < i; ++k) result.push_back(fmt[k]);
        break;
    }
  }
  return result;
}

}  // namespace

std::u16string FormatWideArgs(std::u16string_view fmt, const FmtArg* args, size_t count) {
  return FormatImpl<char16_t>(fmt, args, count);
}

std::string FormatNarrowArgs(std::string_view fmt, const FmtArg* args, size_t count) {
  return FormatImpl<char>(fmt, args, count);
}
