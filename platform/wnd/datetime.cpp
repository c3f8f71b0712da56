// The date-time picker ("SysDateTimePick32"): a date (and time) shown in a format of fields
// (the short and long date, the time, or a format the program sets), each field edited from
// the keyboard (arrows step it, digits type it), a spin at the right edge that steps the
// chosen field, and with DTS_SHOWNONE a check box that says whether there is a date at all.
// Every change the user makes goes to the parent as DTN_DATETIMECHANGE; changes the program
// makes through DTM_SETSYSTEMTIME do not. There is no calendar drop-down.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/wintime.h"
#include "platform/wnd/ctlutil.h"
#include "platform/wnd/wndobj.h"

namespace {

constexpr int kSpinWidth = 16;
constexpr int kCheckWidth = 18;
constexpr int kPad = 3;

enum class Field { Literal, Day, DayName, Month, Year, Hour24, Hour12, Minute, Second, AmPm };

struct Segment {
  Field field = Field::Literal;
  int width = 0;      // letters in the picture: d, dd, ddd ...
  std::u16string literal;
};

struct DateTimeState : WindowData {
  SYSTEMTIME st{};
  bool valid = true;  // false: the check box is clear (GDT_NONE)
  std::u16string format;  // empty: from the style
  std::vector<Segment> segs;
  int current = -1;   // the segment being edited
  std::u16string typed;  // digits typed into it so far
  bool focus = false;
  HFONT font = nullptr;
  bool hasMin = false, hasMax = false;
  SYSTEMTIME minTime{}, maxTime{};
};

std::shared_ptr<DateTimeState> State(HWND h) { return EnsureWindowData<DateTimeState>(h); }

const char16_t* const kMonths[] = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                                   u"July",    u"August",   u"September", u"October", u"November", u"December"};
const char16_t* const kDays[] = {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"};

bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysIn(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && Leap(y) ? 29 : d[m - 1];
}

// 0 = Sunday, by Zeller's congruence on the proleptic Gregorian calendar.
int DayOfWeek(int y, int m, int d) {
  if (m < 3) m += 12, y -= 1;
  const int k = y % 100, j = y / 100;
  const int h = (d + 13 * (m + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7;  // 0 = Saturday
  return (h + 6) % 7;
}

bool ValidTime(const SYSTEMTIME& t) {
  return t.wYear >= 1601 && t.wYear <= 9999 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
         t.wDay <= DaysIn(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
         t.wMilliseconds < 1000;
}

int64_t Key(const SYSTEMTIME& t) {
  return ((((int64_t(t.wYear) * 13 + t.wMonth) * 32 + t.wDay) * 24 + t.wHour) * 60 + t.wMinute) * 60 + t.wSecond;
}

std::vector<Segment> Parse(const std::u16string& f) {
  std::vector<Segment> out;
  auto literal = [&](char16_t c) {
    if (out.empty() || out.back().field != Field::Literal) out.push_back(Segment{});
    out.back().literal += c;
  };
  for (size_t i = 0; i < f.size();) {
    const char16_t c = f[i];
    if (c == u'\'') {
      // A quoted literal; two quotes stand for one.
      size_t j = i + 1;
      if (j < f.size() && f[j] == u'\'') {
        literal(u'\'');
        i += 2;
        continue;
      }
      while (j < f.size() && f[j] != u'\'') literal(f[j++]);
      i = j + 1;
      continue;
    }
    size_t n = 1;
    while (i + n < f.size() && f[i + n] == c) ++n;
    Segment s;
    s.width = int(n);
    switch (c) {
      case u'd': s.field = n >= 3 ? Field::DayName : Field::Day; break;
      case u'M': s.field = Field::Month; break;
      case u'y': s.field = Field::Year; break;
      case u'H': s.field = Field::Hour24; break;
      case u'h': s.field = Field::Hour12; break;
      case u'm': s.field = Field::Minute; break;
      case u's': s.field = Field::Second; break;
      case u't': s.field = Field::AmPm; break;
      default:
        for (size_t k = 0; k < n; ++k) literal(c);
        i += n;
        continue;
    }
    out.push_back(s);
    i += n;
  }
  return out;
}

std::u16string Pad(int v, int width) {
  std::u16string s;
  do {
    s.insert(s.begin(), char16_t(u'0' + v % 10));
    v /= 10;
  } while (v);
  while (int(s.size()) < width) s.insert(s.begin(), u'0');
  return s;
}

std::u16string Text(const Segment& s, const SYSTEMTIME& t) {
  switch (s.field) {
    case Field::Literal: return s.literal;
    case Field::Day: return Pad(t.wDay, s.width >= 2 ? 2 : 1);
    case Field::DayName: {
      const std::u16string name = kDays[DayOfWeek(t.wYear, t.wMonth, t.wDay)];
      return s.width == 3 ? name.substr(0, 3) : name;
    }
    case Field::Month:
      if (s.width >= 4) return kMonths[t.wMonth - 1];
      if (s.width == 3) return std::u16string(kMonths[t.wMonth - 1]).substr(0, 3);
      return Pad(t.wMonth, s.width);
    case Field::Year: return s.width <= 2 ? Pad(t.wYear % 100, 2) : Pad(t.wYear, 4);
    case Field::Hour24: return Pad(t.wHour, s.width >= 2 ? 2 : 1);
    case Field::Hour12: return Pad(t.wHour % 12 == 0 ? 12 : t.wHour % 12, s.width >= 2 ? 2 : 1);
    case Field::Minute: return Pad(t.wMinute, s.width >= 2 ? 2 : 1);
    case Field::Second: return Pad(t.wSecond, s.width >= 2 ? 2 : 1);
    case Field::AmPm: return s.width == 1 ? std::u16string(t.wHour < 12 ? u"A" : u"P") : std::u16string(t.wHour < 12 ? u"AM" : u"PM");
  }
  return {};
}

bool Editable(const Segment& s) { return s.field != Field::Literal && s.field != Field::DayName; }

void Rebuild(HWND h, DateTimeState& s) {
  std::u16string f = s.format;
  if (f.empty()) {
    const DWORD style = StyleOf(h);
    if ((style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT) f = u"HH:mm:ss";
    else if (style & DTS_LONGDATEFORMAT) f = u"MMMM d, yyyy";
    else f = u"yyyy-MM-dd";
  }
  s.segs = Parse(f);
  s.current = -1;
  for (int i = 0; i < int(s.segs.size()); ++i) {
    if (Editable(s.segs[size_t(i)])) {
      s.current = i;
      break;
    }
  }
  s.typed.clear();
}

void Clamp(DateTimeState& s) {
  if (s.hasMin && Key(s.st) < Key(s.minTime)) s.st = s.minTime;
  if (s.hasMax && Key(s.st) > Key(s.maxTime)) s.st = s.maxTime;
  s.st.wDayOfWeek = WORD(DayOfWeek(s.st.wYear, s.st.wMonth, s.st.wDay));
}

void NotifyChange(HWND h, DateTimeState& s) {
  NMDATETIMECHANGE nm{};
  nm.dwFlags = s.valid ? GDT_VALID : GDT_NONE;
  nm.st = s.st;
  SendNotify(h, DTN_DATETIMECHANGE, &nm.nmhdr);
}

// Sets one field to v (wrapping within its range), keeping the day inside the month.
void SetField(DateTimeState& s, Field f, int v) {
  SYSTEMTIME& t = s.st;
  auto wrap = [](int x, int lo, int hi) { return lo + ((x - lo) % (hi - lo + 1) + (hi - lo + 1)) % (hi - lo + 1); };
  switch (f) {
    case Field::Day: t.wDay = WORD(wrap(v, 1, DaysIn(t.wYear, t.wMonth))); break;
    case Field::Month: t.wMonth = WORD(wrap(v, 1, 12)); break;
    case Field::Year: t.wYear = WORD(std::clamp(v, 1601, 9999)); break;
    case Field::Hour24:
    case Field::Hour12: t.wHour = WORD(wrap(v, 0, 23)); break;
    case Field::Minute: t.wMinute = WORD(wrap(v, 0, 59)); break;
    case Field::Second: t.wSecond = WORD(wrap(v, 0, 59)); break;
    case Field::AmPm: t.wHour = WORD((t.wHour + 12) % 24); break;
    default: break;
  }
  t.wDay = WORD(std::min<int>(t.wDay, DaysIn(t.wYear, t.wMonth)));
  Clamp(s);
}

int FieldValue(const SYSTEMTIME& t, Field f) {
  switch (f) {
    case Field::Day: return t.wDay;
    case Field::Month: return t.wMonth;
    case Field::Year: return t.wYear;
    case Field::Hour24:
    case Field::Hour12: return t.wHour;
    case Field::Minute: return t.wMinute;
    case Field::Second: return t.wSecond;
    default: return 0;
  }
}

void Step(HWND h, DateTimeState& s, int delta) {
  if (!s.valid || s.current < 0) return;
  const Field f = s.segs[size_t(s.current)].field;
  SetField(s, f, FieldValue(s.st, f) + delta);
  s.typed.clear();
  InvalidateRect(h, nullptr, TRUE);
  NotifyChange(h, s);
}

void MoveField(HWND h, DateTimeState& s, int dir) {
  for (int i = s.current + dir; i >= 0 && i < int(s.segs.size()); i += dir) {
    if (Editable(s.segs[size_t(i)])) {
      s.current = i;
      break;
    }
  }
  s.typed.clear();
  InvalidateRect(h, nullptr, TRUE);
}

// A digit typed into the chosen field: the digits so far make its value; a field that cannot
// take another digit passes the caret on to the next.
void TypeDigit(HWND h, DateTimeState& s, int digit) {
  if (!s.valid || s.current < 0) return;
  const Segment& seg = s.segs[size_t(s.current)];
  if (seg.field == Field::AmPm) return;
  s.typed += char16_t(u'0' + digit);
  int v = 0;
  for (char16_t c : s.typed) v = v * 10 + (c - u'0');
  const int maxDigits = seg.field == Field::Year ? 4 : 2;
  int maxValue = 59;
  if (seg.field == Field::Day) maxValue = DaysIn(s.st.wYear, s.st.wMonth);
  if (seg.field == Field::Month) maxValue = 12;
  if (seg.field == Field::Hour24 || seg.field == Field::Hour12) maxValue = 23;
  const SYSTEMTIME was = s.st;
  bool done = int(s.typed.size()) >= maxDigits;
  if (seg.field == Field::Year) {
    // A year takes effect once all four digits are typed.
    if (done) SetField(s, Field::Year, v);
  } else {
    if (v > maxValue) {
      v = digit;
      s.typed = std::u16string(1, char16_t(u'0' + digit));
    }
    if (v >= 1 || (seg.field != Field::Day && seg.field != Field::Month)) SetField(s, seg.field, v);
    done = done || v * 10 > maxValue;
  }
  InvalidateRect(h, nullptr, TRUE);
  if (Key(was) != Key(s.st)) NotifyChange(h, s);
  if (done) MoveField(h, s, 1);
}

struct Layout {
  RECT check{}, text{}, spin{};
  std::vector<RECT> segs;
};

Layout Measure(HWND h, DateTimeState& s) {
  Layout l;
  RECT c{};
  GetClientRect(h, &c);
  int x = c.left + kPad;
  if (StyleOf(h) & DTS_SHOWNONE) {
    l.check = RECT{c.left + 2, c.top, c.left + 2 + kCheckWidth - 4, c.bottom};
    x = c.left + kCheckWidth;
  }
  l.spin = RECT{std::max<LONG>(x, c.right - kSpinWidth), c.top, c.right, c.bottom};
  l.text = RECT{x, c.top, l.spin.left, c.bottom};
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, ControlFontOr(s.font));
  for (const Segment& seg : s.segs) {
    const std::u16string t = Text(seg, s.st);
    SIZE z{0, 0};
    if (!t.empty()) GetTextExtentPoint32W(dc, t.c_str(), int(t.size()), &z);
    l.segs.push_back(RECT{x, c.top, x + z.cx, c.bottom});
    x += z.cx;
  }
  DeleteDC(dc);
  return l;
}

void Paint(HWND h, DateTimeState& s, HDC dc) {
  RECT c{};
  GetClientRect(h, &c);
  const bool enabled = IsWindowEnabled(h) != 0;
  FillSolidRectDc(dc, &c, enabled ? GetSysColor(COLOR_WINDOW) : GetSysColor(COLOR_BTNFACE));
  HGDIOBJ oldFont = SelectObject(dc, ControlFontOr(s.font));
  const Layout l = Measure(h, s);
  if (StyleOf(h) & DTS_SHOWNONE) DrawCheckBox(dc, l.check, s.valid, enabled);
  SetBkMode(dc, TRANSPARENT);
  const COLORREF ink = enabled && s.valid ? GetSysColor(COLOR_WINDOWTEXT) : GetSysColor(COLOR_GRAYTEXT);
  for (size_t i = 0; i < s.segs.size(); ++i) {
    const std::u16string t = Text(s.segs[i], s.st);
    RECT r = l.segs[i];
    if (r.left >= l.text.right) break;
    r.right = std::min(r.right, l.text.right);
    const bool chosen = int(i) == s.current && s.focus && s.valid && enabled;
    if (chosen) FillSolidRectDc(dc, &r, GetSysColor(COLOR_HIGHLIGHT));
    SetTextColor(dc, chosen ? GetSysColor(COLOR_HIGHLIGHTTEXT) : ink);
    DrawTextW(dc, t.c_str(), int(t.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
  }
  // The spin: two halves with an arrow each.
  FillSolidRectDc(dc, &l.spin, GetSysColor(COLOR_BTNFACE));
  const int mid = (l.spin.top + l.spin.bottom) / 2;
  RECT up{l.spin.left, l.spin.top, l.spin.right, mid}, down{l.spin.left, mid, l.spin.right, l.spin.bottom};
  DrawEdgeLines(dc, up, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  DrawEdgeLines(dc, down, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  const COLORREF arrow = enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT);
  const int cx = (l.spin.left + l.spin.right) / 2;
  for (int k = 0; k < 3; ++k) {
    RECT a{cx - k, (up.top + up.bottom) / 2 - 1 + k, cx + k + 1, (up.top + up.bottom) / 2 + k};
    FillSolidRectDc(dc, &a, arrow);
    RECT b{cx - k, (down.top + down.bottom) / 2 + 1 - k, cx + k + 1, (down.top + down.bottom) / 2 + 2 - k};
    FillSolidRectDc(dc, &b, arrow);
  }
  SelectObject(dc, oldFont);
}

void Click(HWND h, DateTimeState& s, POINT pt) {
  SetFocus(h);
  const Layout l = Measure(h, s);
  if ((StyleOf(h) & DTS_SHOWNONE) && PtInRect(&l.check, pt)) {
    s.valid = !s.valid;
    InvalidateRect(h, nullptr, TRUE);
    NotifyChange(h, s);
    return;
  }
  if (PtInRect(&l.spin, pt)) {
    Step(h, s, pt.y < (l.spin.top + l.spin.bottom) / 2 ? 1 : -1);
    return;
  }
  // The field under the point, else the nearest one before it.
  int pick = -1;
  for (int i = 0; i < int(s.segs.size()); ++i) {
    if (!Editable(s.segs[size_t(i)])) continue;
    if (pt.x >= l.segs[size_t(i)].left) pick = i;
  }
  if (pick < 0) {
    for (int i = 0; i < int(s.segs.size()); ++i) {
      if (Editable(s.segs[size_t(i)])) {
        pick = i;
        break;
      }
    }
  }
  if (pick >= 0) s.current = pick;
  s.typed.clear();
  InvalidateRect(h, nullptr, TRUE);
}

}  // namespace

LRESULT DateTimeProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<DateTimeState> sp = State(h);
  DateTimeState& s = *sp;
  switch (msg) {
    case WM_CREATE:
      GetLocalTime(&s.st);
      s.st.wMilliseconds = 0;
      Clamp(s);
      Rebuild(h, s);
      return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFONT:
      s.font = reinterpret_cast<HFONT>(w);
      if (l) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        Paint(h, s, reinterpret_cast<HDC>(w));
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) Paint(h, s, dc);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      s.focus = msg == WM_SETFOCUS;
      s.typed.clear();
      InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: Click(h, s, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}); return 0;
    case WM_KEYDOWN:
      switch (w) {
        case VK_LEFT: MoveField(h, s, -1); break;
        case VK_RIGHT: MoveField(h, s, 1); break;
        case VK_UP: Step(h, s, 1); break;
        case VK_DOWN: Step(h, s, -1); break;
        case VK_PRIOR: Step(h, s, 5); break;
        case VK_NEXT: Step(h, s, -5); break;
        case VK_SPACE:
          if (StyleOf(h) & DTS_SHOWNONE) {
            s.valid = !s.valid;
            InvalidateRect(h, nullptr, TRUE);
            NotifyChange(h, s);
          }
          break;
        default: break;
      }
      return 0;
    case WM_CHAR:
      if (w >= u'0' && w <= u'9') TypeDigit(h, s, int(w - u'0'));
      else if (w == u'/' || w == u'-' || w == u'.' || w == u':' || w == u',') MoveField(h, s, 1);
      return 0;
    case DTM_GETSYSTEMTIME: {
      auto* out = reinterpret_cast<SYSTEMTIME*>(l);
      if (!out) return GDT_ERROR;
      if (!s.valid) return GDT_NONE;
      *out = s.st;
      return GDT_VALID;
    }
    case DTM_SETSYSTEMTIME: {
      if (w == GDT_NONE) {
        // Only a picker with a check box can hold no date.
        if (!(StyleOf(h) & DTS_SHOWNONE)) return FALSE;
        s.valid = false;
        InvalidateRect(h, nullptr, TRUE);
        return TRUE;
      }
      const auto* in = reinterpret_cast<const SYSTEMTIME*>(l);
      if (w != GDT_VALID || !in || !ValidTime(*in)) return FALSE;
      if ((s.hasMin && Key(*in) < Key(s.minTime)) || (s.hasMax && Key(*in) > Key(s.maxTime))) return FALSE;
      s.st = *in;
      s.valid = true;
      Clamp(s);
      s.typed.clear();
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    }
    case DTM_GETRANGE: {
      auto* out = reinterpret_cast<SYSTEMTIME*>(l);
      DWORD flags = 0;
      if (out && s.hasMin) out[0] = s.minTime, flags |= GDTR_MIN;
      if (out && s.hasMax) out[1] = s.maxTime, flags |= GDTR_MAX;
      return flags;
    }
    case DTM_SETRANGE: {
      const auto* in = reinterpret_cast<const SYSTEMTIME*>(l);
      if (!in) return FALSE;
      if ((w & GDTR_MIN) && !ValidTime(in[0])) return FALSE;
      if ((w & GDTR_MAX) && !ValidTime(in[1])) return FALSE;
      s.hasMin = (w & GDTR_MIN) != 0;
      s.hasMax = (w & GDTR_MAX) != 0;
      if (s.hasMin) s.minTime = in[0];
      if (s.hasMax) s.maxTime = in[1];
      Clamp(s);
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    }
    case DTM_SETFORMATW: {
      const auto* f = reinterpret_cast<const char16_t*>(l);
      s.format = f ? f : u"";
      Rebuild(h, s);
      InvalidateRect(h, nullptr, TRUE);
      return TRUE;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}
