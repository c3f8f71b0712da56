// The list view ("SysListView32"): its item store and selection, the messages that read and
// change items and columns, and the procedure that hands painting, layout and input to the
// other list view files.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/wnd/listview.h"

// ---- RangeSet ----

bool RangeSet::Contains(int i) const {
  auto it = std::upper_bound(r_.begin(), r_.end(), i, [](int v, const std::pair<int, int>& p) { return v < p.first; });
  if (it == r_.begin()) return false;
  --it;
  return i >= it->first && i < it->second;
}

void RangeSet::Add(int from, int to) {
  if (from >= to) return;
  // Every range that overlaps or touches [from, to) merges into it.
  auto first = std::lower_bound(r_.begin(), r_.end(), from,
                                [](const std::pair<int, int>& p, int v) { return p.second < v; });
  auto last = first;
  while (last != r_.end() && last->first <= to) {
    from = std::min(from, last->first);
    to = std::max(to, last->second);
    ++last;
  }
  first = r_.erase(first, last);
  r_.insert(first, {from, to});
}

void RangeSet::Remove(int from, int to) {
  if (from >= to) return;
  std::vector<std::pair<int, int>> out;
  out.reserve(r_.size() + 1);
  for (const auto& p : r_) {
    if (p.second <= from || p.first >= to) {
      out.push_back(p);
      continue;
    }
    if (p.first < from) out.push_back({p.first, from});
    if (p.second > to) out.push_back({to, p.second});
  }
  r_.swap(out);
}

int64_t RangeSet::Count() const {
  int64_t n = 0;
  for (const auto& p : r_) n += p.second - p.first;
  return n;
}

int RangeSet::NextFrom(int from) const {
  for (const auto& p : r_) {
    if (p.second > from) return std::max(p.first, from);
  }
  return -1;
}

void RangeSet::InsertAt(int at) {
  for (auto& p : r_) {
    if (p.first >= at) ++p.first, ++p.second;
    else if (p.second > at) ++p.second;  // the new row splits a selected run: it stays unselected
  }
  // A run that held `at` now has a gap there; split it.
  std::vector<std::pair<int, int>> out;
  for (const auto& p : r_) {
    if (p.first < at && p.second > at + 1) {
      out.push_back({p.first, at});
      out.push_back({at + 1, p.second});
    } else {
      out.push_back(p);
    }
  }
  r_.swap(out);
}

void RangeSet::EraseAt(int at) {
  Remove(at, at + 1);
  for (auto& p : r_) {
    if (p.first > at) --p.first, --p.second;
  }
  // Runs that met at the removed row join.
  std::vector<std::pair<int, int>> out;
  for (const auto& p : r_) {
    if (!out.empty() && out.back().second >= p.first) out.back().second = std::max(out.back().second, p.second);
    else out.push_back(p);
  }
  r_.swap(out);
}

// ---- Items ----

std::shared_ptr<ListViewState> LvState(HWND h) { return EnsureWindowData<ListViewState>(h); }

bool LvOwnerData(HWND h) { return (StyleOf(h) & LVS_OWNERDATA) != 0; }
bool LvIsReport(HWND h) { return (StyleOf(h) & LVS_TYPEMASK) == LVS_REPORT; }

int LvCount(const ListViewState& s) { return s.ownerCount > 0 || s.items.empty() ? s.ownerCount : int(s.items.size()); }

namespace {

bool ValidRow(const ListViewState& s, int i) { return i >= 0 && i < LvCount(s); }

// Asks the parent for what `di.item.mask` names of a row; the text lands in `buf`.
void AskDispInfo(HWND h, ListViewState& s, NMLVDISPINFOW& di) {
  s.inNotify = true;
  SendNotify(h, LVN_GETDISPINFOW, &di.hdr);
  s.inNotify = false;
}

// The text the parent gave: in our buffer (never read past its end) or in its own.
CString TakeDispText(const NMLVDISPINFOW& di, const char16_t* buf, int maxChars) {
  const char16_t* t = di.item.pszText;
  if (!t || t == LPSTR_TEXTCALLBACKW) return CString();
  if (t == buf) {
    int n = 0;
    while (n < maxChars - 1 && buf[n]) ++n;
    return CString(buf, n);
  }
  // The parent pointed at a text of its own; it ends with a zero, and no more than the
  // caller's buffer is kept.
  int n = 0;
  while (n < maxChars - 1 && t[n]) ++n;
  return CString(t, n);
}

NMLISTVIEW ChangeRecord(const ListViewState& s, int i, UINT oldState, UINT newState) {
  NMLISTVIEW nm{};
  nm.iItem = i;
  nm.uChanged = LVIF_STATE;
  nm.uOldState = oldState;
  nm.uNewState = newState;
  nm.lParam = LvGetParam(s, i);
  return nm;
}

void InvalidateAllRows(HWND h) { InvalidateRect(h, nullptr, !LvIsReport(h)); }

// Repaints the rows from `from` to the end of the page (rows moved or appeared there);
// nothing when they all lie below the page.
void InvalidateFrom(HWND h, ListViewState& s, int from) {
  if (!LvIsReport(h)) {
    if (from < LvVisibleRows(h, s).second + 1) InvalidateRect(h, nullptr, TRUE);
    return;
  }
  RECT c = LvClient(h);
  const int64_t top = s.headerHeight + int64_t(std::max(0, from - s.topIndex)) * std::max(1, LvRowHeight(h, s));
  if (top >= c.bottom) return;
  RECT r{c.left, std::max<LONG>(LONG(top), s.headerHeight), c.right, c.bottom};
  InvalidateRect(h, &r, TRUE);
}

}  // namespace

LPARAM LvGetParam(const ListViewState& s, int i) {
  if (s.ownerCount > 0 || i < 0 || size_t(i) >= s.items.size()) return 0;
  return s.items[size_t(i)].lParam;
}

CString LvGetText(HWND h, ListViewState& s, int i, int sub, int maxChars) {
  if (!ValidRow(s, i) || sub < 0 || maxChars <= 0) return CString();
  const bool owner = LvOwnerData(h);
  if (!owner) {
    const LvItem& it = s.items[size_t(i)];
    bool callback = false;
    CString text;
    if (sub == 0) {
      callback = it.textCallback;
      text = it.text;
    } else if (size_t(sub - 1) < it.sub.size()) {
      callback = it.sub[size_t(sub - 1)].callback;
      text = it.sub[size_t(sub - 1)].text;
    }
    if (!callback) {
      if (text.GetLength() > maxChars - 1) text.Truncate(maxChars - 1);
      return text;
    }
  }
  char16_t local[264];
  std::vector<char16_t> big;
  char16_t* buf = local;
  if (maxChars > 264) {
    big.assign(size_t(maxChars), 0);
    buf = big.data();
  }
  buf[0] = 0;
  NMLVDISPINFOW di{};
  di.item.mask = LVIF_TEXT;
  di.item.iItem = i;
  di.item.iSubItem = sub;
  di.item.pszText = buf;
  di.item.cchTextMax = maxChars;
  di.item.lParam = LvGetParam(s, i);
  AskDispInfo(h, s, di);
  CString text = TakeDispText(di, buf, maxChars);
  // A parent that asks the list to keep what it gave turns the callback into a stored text.
  if (!owner && (di.item.mask & LVIF_DI_SETITEM) && ValidRow(s, i)) {
    LvItem& it = s.items[size_t(i)];
    if (sub == 0) it.text = text, it.textCallback = false;
    else if (size_t(sub - 1) < it.sub.size()) it.sub[size_t(sub - 1)] = LvSubText{text, false};
  }
  return text;
}

int LvGetImage(HWND h, ListViewState& s, int i) {
  if (!ValidRow(s, i)) return I_IMAGENONE;
  const bool owner = LvOwnerData(h);
  if (!owner && s.items[size_t(i)].image != I_IMAGECALLBACK) return s.items[size_t(i)].image;
  NMLVDISPINFOW di{};
  di.item.mask = LVIF_IMAGE;
  di.item.iItem = i;
  di.item.iImage = I_IMAGENONE;
  di.item.lParam = LvGetParam(s, i);
  AskDispInfo(h, s, di);
  if (!owner && (di.item.mask & LVIF_DI_SETITEM) && ValidRow(s, i)) s.items[size_t(i)].image = di.item.iImage;
  return di.item.iImage;
}

UINT LvGetState(HWND h, ListViewState& s, int i, UINT mask) {
  if (!ValidRow(s, i)) return 0;
  UINT st = 0;
  if (s.selected.Contains(i)) st |= LVIS_SELECTED;
  if (s.focused == i) st |= LVIS_FOCUSED;
  const UINT others = mask & ~(LVIS_SELECTED | LVIS_FOCUSED);
  if (others) {
    if (!LvOwnerData(h)) {
      st |= s.items[size_t(i)].state & others;
    } else if (s.callbackMask & others) {
      NMLVDISPINFOW di{};
      di.item.mask = LVIF_STATE;
      di.item.iItem = i;
      di.item.stateMask = s.callbackMask & others;
      AskDispInfo(h, s, di);
      st |= di.item.state & s.callbackMask & others;
    }
    // With check boxes a row without a state image shows the empty box.
    if ((others & LVIS_STATEIMAGEMASK) && (s.exStyle & LVS_EX_CHECKBOXES) && !(st & LVIS_STATEIMAGEMASK)) {
      st |= INDEXTOSTATEIMAGEMASK(1);
    }
  }
  return st & mask;
}

int LvStateImage(HWND h, ListViewState& s, int i) {
  return int((LvGetState(h, s, i, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12);
}

bool LvSetState(HWND h, ListViewState& s, int i, UINT state, UINT mask) {
  if (i == -1) {
    const int n = LvCount(s);
    if (LvOwnerData(h)) {
      // The list keeps only selection and focus for owner data: one change for every row.
      const bool hadSel = !s.selected.Empty();
      if (mask & LVIS_SELECTED) {
        if (state & LVIS_SELECTED) s.selected.Add(0, n);
        else s.selected.Clear();
      }
      if ((mask & LVIS_FOCUSED) && !(state & LVIS_FOCUSED)) s.focused = -1;
      if ((mask & LVIS_SELECTED) && (hadSel || (state & LVIS_SELECTED))) {
        NMLISTVIEW nm{};
        nm.iItem = -1;
        nm.uChanged = LVIF_STATE;
        nm.uNewState = state & mask;
        nm.uOldState = (~state) & mask & LVIS_SELECTED;
        SendNotify(h, LVN_ITEMCHANGED, &nm.hdr);
      }
      InvalidateAllRows(h);
      return true;
    }
    if ((mask & LVIS_SELECTED) && !(state & LVIS_SELECTED) && mask == LVIS_SELECTED) {
      LvDeselectAll(h, s, -1);  // only the selected rows change
      return true;
    }
    for (int k = 0; k < LvCount(s); ++k) LvSetState(h, s, k, state, mask);
    return true;
  }
  if (!ValidRow(s, i)) return false;
  if ((mask & LVIS_SELECTED) && (state & LVIS_SELECTED) && (StyleOf(h) & LVS_SINGLESEL)) {
    LvDeselectAll(h, s, i);
    if (!ValidRow(s, i)) return false;
  }
  const UINT known = LVIS_SELECTED | LVIS_FOCUSED | LVIS_CUT | LVIS_DROPHILITED | LVIS_OVERLAYMASK | LVIS_STATEIMAGEMASK;
  const UINT old = LvGetState(h, s, i, known);
  const UINT now = (old & ~mask) | (state & mask);
  if ((old & mask) == (now & mask)) return true;
  const bool owner = LvOwnerData(h);
  NMLISTVIEW nm = ChangeRecord(s, i, old, now);
  if (!owner && SendNotify(h, LVN_ITEMCHANGING, &nm.hdr)) return false;
  if (!ValidRow(s, i)) return false;
  // A row taking the focus takes it from the row that had it.
  if ((mask & LVIS_FOCUSED) && (now & LVIS_FOCUSED) && s.focused >= 0 && s.focused != i) {
    const int was = s.focused;
    LvSetState(h, s, was, 0, LVIS_FOCUSED);
    if (!ValidRow(s, i)) return false;
  }
  if (mask & LVIS_SELECTED) {
    if (now & LVIS_SELECTED) s.selected.Add(i, i + 1);
    else s.selected.Remove(i, i + 1);
  }
  if (mask & LVIS_FOCUSED) {
    if (now & LVIS_FOCUSED) s.focused = i;
    else if (s.focused == i) s.focused = -1;
  }
  if (!owner) {
    const UINT kept = mask & ~(LVIS_SELECTED | LVIS_FOCUSED);
    UINT& st = s.items[size_t(i)].state;
    st = (st & ~kept) | (state & kept);
  }
  LvInvalidateItem(h, s, i);
  nm = ChangeRecord(s, i, old, now);
  SendNotify(h, LVN_ITEMCHANGED, &nm.hdr);
  return true;
}

void LvDeselectAll(HWND h, ListViewState& s, int except) {
  if (s.selected.Empty()) return;
  if (s.selected.Count() == 1 && s.selected.Contains(except)) return;
  if (LvOwnerData(h)) {
    const bool keep = s.selected.Contains(except);
    s.selected.Clear();
    if (keep) s.selected.Add(except, except + 1);
    NMLISTVIEW nm{};
    nm.iItem = -1;
    nm.uChanged = LVIF_STATE;
    nm.uOldState = LVIS_SELECTED;
    SendNotify(h, LVN_ITEMCHANGED, &nm.hdr);
    InvalidateAllRows(h);
    return;
  }
  const auto ranges = s.selected.Ranges();  // a copy: every change below edits the set
  for (const auto& p : ranges) {
    for (int k = p.first; k < p.second; ++k) {
      if (k != except) LvSetState(h, s, k, 0, LVIS_SELECTED);
    }
  }
}

void LvSelectRange(HWND h, ListViewState& s, int from, int to, bool keepOthers) {
  const int n = LvCount(s);
  if (n <= 0) return;
  int a = std::clamp(std::min(from, to), 0, n - 1), b = std::clamp(std::max(from, to), 0, n - 1);
  if (StyleOf(h) & LVS_SINGLESEL) a = b = std::clamp(to, 0, n - 1);
  if (LvOwnerData(h)) {
    RangeSet outside = s.selected;
    outside.Remove(a, b + 1);
    if (!keepOthers && !outside.Empty()) {
      s.selected.Clear();
      NMLISTVIEW nm{};
      nm.iItem = -1;
      nm.uChanged = LVIF_STATE;
      nm.uOldState = LVIS_SELECTED;
      SendNotify(h, LVN_ITEMCHANGED, &nm.hdr);
    }
    s.selected.Add(a, b + 1);
    NMLVODSTATECHANGE od{};
    od.iFrom = a;
    od.iTo = b;
    od.uNewState = LVIS_SELECTED;
    SendNotify(h, LVN_ODSTATECHANGED, &od.hdr);
    InvalidateAllRows(h);
    return;
  }
  if (!keepOthers) {
    const auto ranges = s.selected.Ranges();
    for (const auto& p : ranges) {
      for (int k = p.first; k < p.second; ++k) {
        if (k < a || k > b) LvSetState(h, s, k, 0, LVIS_SELECTED);
      }
    }
  }
  for (int k = a; k <= b && k < LvCount(s); ++k) LvSetState(h, s, k, LVIS_SELECTED, LVIS_SELECTED);
}

void LvSetFocus(HWND h, ListViewState& s, int i) { LvSetState(h, s, i, LVIS_FOCUSED, LVIS_FOCUSED); }

namespace {

// ---- Item messages ----

void ApplyItem(LvItem& it, const LVITEMW& in) {
  if (in.mask & LVIF_TEXT) {
    it.textCallback = in.pszText == LPSTR_TEXTCALLBACKW;
    it.text = it.textCallback || !in.pszText ? CString() : CString(in.pszText);
  }
  if (in.mask & LVIF_IMAGE) it.image = in.iImage;
  if (in.mask & LVIF_PARAM) it.lParam = in.lParam;
  if (in.mask & LVIF_INDENT) it.indent = std::max(0, in.iIndent);
}

LRESULT InsertItem(HWND h, ListViewState& s, const LVITEMW* in) {
  if (!in || in->iSubItem != 0 || in->iItem < 0 || LvOwnerData(h)) return -1;
  const int at = std::min(in->iItem, int(s.items.size()));
  LvItem it;
  ApplyItem(it, *in);
  if (in->mask & LVIF_STATE) it.state = in->state & in->stateMask & ~(LVIS_SELECTED | LVIS_FOCUSED);
  s.items.insert(s.items.begin() + at, std::move(it));
  s.selected.InsertAt(at);
  if (s.focused >= at) ++s.focused;
  if (s.mark >= at) ++s.mark;
  if (in->mask & LVIF_STATE) {
    const UINT sel = in->state & in->stateMask & (LVIS_SELECTED | LVIS_FOCUSED);
    if (sel & LVIS_SELECTED) s.selected.Add(at, at + 1);
    if (sel & LVIS_FOCUSED) s.focused = at;
  }
  NMLISTVIEW nm{};
  nm.iItem = at;
  nm.lParam = s.items[size_t(at)].lParam;
  SendNotify(h, LVN_INSERTITEM, &nm.hdr);
  LvCountChanged(h, s);
  InvalidateFrom(h, s, at);
  return at;
}

BOOL DeleteItem(HWND h, ListViewState& s, int i) {
  if (!ValidRow(s, i)) return FALSE;
  if (LvOwnerData(h)) {
    // An owner-data list only loses one row of its count.
    s.ownerCount = std::max(0, s.ownerCount - 1);
  } else {
    NMLISTVIEW nm{};
    nm.iItem = i;
    nm.lParam = s.items[size_t(i)].lParam;
    SendNotify(h, LVN_DELETEITEM, &nm.hdr);
    if (size_t(i) >= s.items.size()) return FALSE;
    s.items.erase(s.items.begin() + i);
  }
  s.selected.EraseAt(i);
  if (s.focused == i) s.focused = -1;
  else if (s.focused > i) --s.focused;
  if (s.mark == i) s.mark = -1;
  else if (s.mark > i) --s.mark;
  s.hintFrom = s.hintTo = -1;
  LvCountChanged(h, s);
  InvalidateFrom(h, s, i);
  return TRUE;
}

BOOL DeleteAllItems(HWND h, ListViewState& s) {
  NMLISTVIEW nm{};
  nm.iItem = -1;
  const bool quiet = SendNotify(h, LVN_DELETEALLITEMS, &nm.hdr) != 0;
  if (!LvOwnerData(h) && !quiet) {
    // Each row is announced before it goes; the parent may free what it attached.
    for (size_t k = 0; k < s.items.size(); ++k) {
      NMLISTVIEW one{};
      one.iItem = int(k);
      one.lParam = s.items[k].lParam;
      SendNotify(h, LVN_DELETEITEM, &one.hdr);
    }
  }
  s.items.clear();
  s.items.shrink_to_fit();
  s.ownerCount = 0;
  s.selected.Clear();
  s.focused = s.mark = -1;
  s.topIndex = 0;
  s.scrollY = 0;
  s.hintFrom = s.hintTo = -1;
  LvLayout(h, s);
  InvalidateRect(h, nullptr, TRUE);
  return TRUE;
}

// An ordinary list takes the count as a hint to reserve rows; the hint is capped, since a
// caller's count (up to 2^31 - 1) must not decide how much memory is taken before any row exists.
constexpr int kMaxReservedRows = 1000000;

BOOL SetItemCount(HWND h, ListViewState& s, int count, LPARAM flags) {
  if (count < 0) return FALSE;
  if (!LvOwnerData(h)) {
    try {
      s.items.reserve(size_t(std::min(count, kMaxReservedRows)));
    } catch (const std::bad_alloc&) {
      // Only a hint: the rows are still added one by one.
    }
    return TRUE;
  }
  const int old = LvCount(s);
  s.ownerCount = count;
  s.selected.Truncate(count);
  if (s.focused >= count) s.focused = -1;
  if (s.mark >= count) s.mark = -1;
  s.hintFrom = s.hintTo = -1;
  const int oldTop = s.topIndex;
  LvCountChanged(h, s);
  if (flags & LVSICF_NOINVALIDATEALL) {
    // Only rows that appeared or went on the page need painting.
    if (s.topIndex != oldTop) InvalidateAllRows(h);
    else InvalidateFrom(h, s, std::min(old, count));
  } else {
    InvalidateAllRows(h);
  }
  return TRUE;
}

LRESULT GetItem(HWND h, ListViewState& s, LVITEMW* it) {
  if (!it || !ValidRow(s, it->iItem) || it->iSubItem < 0) return FALSE;
  const int i = it->iItem;
  if (it->mask & LVIF_TEXT) {
    if (it->pszText && it->cchTextMax > 0) {
      CString t = LvGetText(h, s, i, it->iSubItem, it->cchTextMax);
      std::copy(t.GetString(), t.GetString() + t.GetLength(), it->pszText);
      it->pszText[t.GetLength()] = 0;
    }
  }
  if (it->iSubItem == 0) {
    if (it->mask & LVIF_IMAGE) it->iImage = LvGetImage(h, s, i);
    if (it->mask & LVIF_PARAM) it->lParam = LvGetParam(s, i);
    if (it->mask & LVIF_STATE) it->state = LvGetState(h, s, i, it->stateMask);
    if (it->mask & LVIF_INDENT) it->iIndent = LvOwnerData(h) ? 0 : s.items[size_t(i)].indent;
  }
  return TRUE;
}

LRESULT SetItem(HWND h, ListViewState& s, const LVITEMW* in) {
  if (!in || !ValidRow(s, in->iItem) || in->iSubItem < 0) return FALSE;
  const int i = in->iItem;
  if (LvOwnerData(h)) {
    if (in->mask & LVIF_STATE) return LvSetState(h, s, i, in->state, in->stateMask);
    return FALSE;
  }
  if (in->iSubItem > 0) {
    if (!(in->mask & LVIF_TEXT)) return FALSE;
    auto& sub = s.items[size_t(i)].sub;
    if (sub.size() < size_t(in->iSubItem)) sub.resize(size_t(in->iSubItem));
    LvSubText& t = sub[size_t(in->iSubItem - 1)];
    t.callback = in->pszText == LPSTR_TEXTCALLBACKW;
    t.text = t.callback || !in->pszText ? CString() : CString(in->pszText);
    LvInvalidateItem(h, s, i);
    return TRUE;
  }
  LVITEMW plain = *in;
  plain.mask &= ~LVIF_STATE;
  if (plain.mask & (LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_INDENT)) {
    ApplyItem(s.items[size_t(i)], plain);
    LvInvalidateItem(h, s, i);
  }
  if (in->mask & LVIF_STATE) return LvSetState(h, s, i, in->state, in->stateMask);
  return TRUE;
}

int NextItem(HWND h, ListViewState& s, int start, UINT flags) {
  const int n = LvCount(s);
  const int from = std::max(0, start + 1);
  if (from >= n) return -1;
  if (flags & LVNI_FOCUSED) {
    if (s.focused < from) return -1;
    if ((flags & LVNI_SELECTED) && !s.selected.Contains(s.focused)) return -1;
    return s.focused;
  }
  if (flags & LVNI_SELECTED) {
    const int k = s.selected.NextFrom(from);
    return k >= 0 && k < n ? k : -1;
  }
  (void)h;
  return from;
}

// ---- Columns ----

LRESULT InsertColumn(HWND h, ListViewState& s, int at, const LVCOLUMNW* c) {
  if (!c || at < 0) return -1;
  at = std::min(at, int(s.columns.size()));
  LvColumn col;
  if (c->mask & LVCF_FMT) col.fmt = c->fmt;
  if (c->mask & LVCF_WIDTH) col.width = std::max(0, c->cx);
  col.subItem = (c->mask & LVCF_SUBITEM) ? c->iSubItem : at;
  if (at == 0) col.fmt &= ~LVCFMT_JUSTIFYMASK;  // the first column is always left-aligned
  s.columns.insert(s.columns.begin() + at, col);
  HDITEMW hd{};
  hd.mask = HDI_WIDTH | HDI_FORMAT;
  hd.cxy = col.width;
  hd.fmt = HDF_STRING | (col.fmt & LVCFMT_JUSTIFYMASK);
  if ((c->mask & LVCF_TEXT) && c->pszText) {
    hd.mask |= HDI_TEXT;
    hd.pszText = c->pszText;
  }
  if (s.header) SendMessageW(s.header, HDM_INSERTITEMW, WPARAM(at), reinterpret_cast<LPARAM>(&hd));
  LvSyncColumns(h, s);
  LvLayout(h, s);
  InvalidateRect(h, nullptr, TRUE);
  return at;
}

BOOL DeleteColumn(HWND h, ListViewState& s, int i) {
  if (i < 0 || size_t(i) >= s.columns.size()) return FALSE;
  s.columns.erase(s.columns.begin() + i);
  if (s.header) SendMessageW(s.header, HDM_DELETEITEM, WPARAM(i), 0);
  LvSyncColumns(h, s);
  LvLayout(h, s);
  InvalidateRect(h, nullptr, TRUE);
  return TRUE;
}

BOOL GetColumn(ListViewState& s, int i, LVCOLUMNW* c) {
  if (!c || i < 0 || size_t(i) >= s.columns.size()) return FALSE;
  const LvColumn& col = s.columns[size_t(i)];
  if (c->mask & LVCF_FMT) c->fmt = col.fmt;
  if (c->mask & LVCF_WIDTH) c->cx = col.width;
  if (c->mask & LVCF_SUBITEM) c->iSubItem = col.subItem;
  if ((c->mask & LVCF_TEXT) && c->pszText && c->cchTextMax > 0) {
    HDITEMW hd{};
    hd.mask = HDI_TEXT;
    hd.pszText = c->pszText;
    hd.cchTextMax = c->cchTextMax;
    c->pszText[0] = 0;
    if (s.header) SendMessageW(s.header, HDM_GETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&hd));
  }
  return TRUE;
}

BOOL SetColumnWidthRaw(HWND h, ListViewState& s, int i, int cx) {
  if (i < 0 || size_t(i) >= s.columns.size()) return FALSE;
  HDITEMW hd{};
  hd.mask = HDI_WIDTH;
  hd.cxy = std::max(0, cx);
  s.columns[size_t(i)].width = hd.cxy;
  if (s.header) SendMessageW(s.header, HDM_SETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&hd));
  LvSyncColumns(h, s);
  LvLayout(h, s);
  InvalidateRect(h, nullptr, TRUE);
  return TRUE;
}

BOOL SetColumn(HWND h, ListViewState& s, int i, const LVCOLUMNW* c) {
  if (!c || i < 0 || size_t(i) >= s.columns.size()) return FALSE;
  LvColumn& col = s.columns[size_t(i)];
  HDITEMW hd{};
  if (c->mask & LVCF_FMT) {
    col.fmt = i == 0 ? (c->fmt & ~LVCFMT_JUSTIFYMASK) : c->fmt;
    hd.mask |= HDI_FORMAT;
    hd.fmt = HDF_STRING | (col.fmt & LVCFMT_JUSTIFYMASK);
  }
  if (c->mask & LVCF_SUBITEM) col.subItem = c->iSubItem;
  if ((c->mask & LVCF_TEXT) && c->pszText) {
    hd.mask |= HDI_TEXT;
    hd.pszText = c->pszText;
  }
  if (c->mask & LVCF_WIDTH) {
    hd.mask |= HDI_WIDTH;
    hd.cxy = std::max(0, c->cx);
    col.width = hd.cxy;
  }
  if (hd.mask && s.header) SendMessageW(s.header, HDM_SETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&hd));
  LvSyncColumns(h, s);
  LvLayout(h, s);
  InvalidateRect(h, nullptr, TRUE);
  return TRUE;
}

int TextWidth(ListViewState& s, const CString& t) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, ControlFontOr(s.font));
  SIZE sz{};
  GetTextExtentPoint32W(dc, t.GetString(), t.GetLength(), &sz);
  SelectObject(dc, old);
  DeleteDC(dc);
  return sz.cx;
}

// LVSCW_AUTOSIZE: the widest cell of the column (of the rows shown, for owner data);
// LVSCW_AUTOSIZE_USEHEADER also the header's text, and the last column fills the client.
BOOL AutoSizeColumn(HWND h, ListViewState& s, int i, int how) {
  if (i < 0 || size_t(i) >= s.columns.size()) return FALSE;
  const int sub = s.columns[size_t(i)].subItem;
  int widest = 0;
  int from = 0, to = LvCount(s);
  if (LvOwnerData(h)) std::tie(from, to) = LvVisibleRows(h, s);
  for (int k = from; k < to; ++k) widest = std::max(widest, TextWidth(s, LvGetText(h, s, k, sub)));
  int cx = widest + 12;
  if (sub == 0) {
    RECT label{};
    if (LvCount(s) > 0 && LvSubItemRect(h, s, 0, 0, LVIR_LABEL, &label)) cx += label.left - LvColumnLeft(s, i) + s.scrollX;
  }
  if (how == LVSCW_AUTOSIZE_USEHEADER) {
    char16_t buf[260] = {};
    HDITEMW hd{};
    hd.mask = HDI_TEXT;
    hd.pszText = buf;
    hd.cchTextMax = 260;
    if (s.header) SendMessageW(s.header, HDM_GETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&hd));
    cx = std::max(cx, TextWidth(s, CString(buf)) + 12);
    if (size_t(i) + 1 == s.columns.size()) {
      const RECT c = LvClient(h);
      cx = std::max<int>(cx, c.right - LvColumnLeft(s, i) - s.scrollX);
    }
  }
  return SetColumnWidthRaw(h, s, i, cx);
}

// ---- Notifications from the header ----

LRESULT FromHeader(HWND h, ListViewState& s, NMHDR* nm) {
  const UINT code = nm->code;
  if (code == HDN_ITEMCHANGEDW || code == HDN_ITEMCHANGEDA) {
    LvSyncColumns(h, s);
    LvLayout(h, s);
    InvalidateRect(h, nullptr, FALSE);
  }
  if (code == HDN_ITEMCLICKW || code == HDN_ITEMCLICKA) {
    const auto* hn = reinterpret_cast<const NMHEADERW*>(nm);
    NMLISTVIEW lv{};
    lv.iItem = -1;
    lv.iSubItem = hn->iItem;
    SendNotify(h, LVN_COLUMNCLICK, &lv.hdr);
  }
  // The list's parent hears its header too, and may answer for it.
  HWND parent = GetParent(h);
  return parent ? SendMessageW(parent, WM_NOTIFY, nm->idFrom, reinterpret_cast<LPARAM>(nm)) : 0;
}

void CreateHeader(HWND h, ListViewState& s) {
  const DWORD style = StyleOf(h);
  const DWORD hs = WS_CHILD | HDS_HORZ | HDS_FULLDRAG | ((style & LVS_NOSORTHEADER) ? 0 : HDS_BUTTONS);
  s.header = CreateWindowExW(0, WC_HEADER, u"", hs, 0, 0, 0, 0, h, nullptr, nullptr, nullptr);
}

}  // namespace

LRESULT ListViewProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<ListViewState> st = LvState(h);
  ListViewState& s = *st;
  LRESULT r = 0;
  if (LvInput(h, s, msg, w, l, &r)) return r;
  if (msg >= LVM_FIRST && msg < LVM_FIRST + 0x100) LvEnsureLayout(h, s);
  switch (msg) {
    case WM_CREATE:
      CreateHeader(h, s);
      LvLayout(h, s);
      return 0;
    case WM_SIZE:
      LvLayout(h, s);
      return 0;
    case WM_WINDOWPOSCHANGED:
      // An owner-drawn report asks its owner for the row height again whenever it is placed,
      // also when nothing moved: owners send this to make it measure anew.
      LvRemeasure(h, s);
      return DefWindowProcW(h, msg, w, l);
    case WM_SETFONT:
      s.font = reinterpret_cast<HFONT>(w);
      if (s.header) SendMessageW(s.header, WM_SETFONT, w, l);
      s.rowHeight = 0;
      s.lineHeight = 0;
      LvLayout(h, s);
      if (LOWORD(uintptr_t(l))) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_ERASEBKGND: {
      const COLORREF bk = s.bkColor == CLR_DEFAULT ? GetSysColor(COLOR_WINDOW) : s.bkColor;
      if (bk == CLR_NONE) return 0;
      RECT c = LvClient(h);
      FillSolidRectDc(reinterpret_cast<HDC>(w), &c, bk);
      return 1;
    }
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        // Painting into a context the caller hands in (a memory picture): every row shown.
        LvPaint(h, s, reinterpret_cast<HDC>(w), LvClient(h), false);
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) LvPaint(h, s, dc, ps.rcPaint, true);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      InvalidateRect(h, nullptr, FALSE);
      NMHDR nm{};
      SendNotify(h, msg == WM_SETFOCUS ? NM_SETFOCUS : NM_KILLFOCUS, &nm);
      return 0;
    }
    case WM_ENABLE: InvalidateRect(h, nullptr, TRUE); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_NOTIFY: {
      auto* nm = reinterpret_cast<NMHDR*>(l);
      if (nm && s.header && nm->hwndFrom == s.header) return FromHeader(h, s, nm);
      return DefWindowProcW(h, msg, w, l);
    }

    case LVM_GETITEMCOUNT: return LvCount(s);
    case LVM_SETITEMCOUNT: return SetItemCount(h, s, int(w), l);
    case LVM_INSERTITEMW: return InsertItem(h, s, reinterpret_cast<const LVITEMW*>(l));
    case LVM_DELETEITEM: return DeleteItem(h, s, int(w));
    case LVM_DELETEALLITEMS: return DeleteAllItems(h, s);
    case LVM_GETITEMW: return GetItem(h, s, reinterpret_cast<LVITEMW*>(l));
    case LVM_SETITEMW: return SetItem(h, s, reinterpret_cast<const LVITEMW*>(l));
    case LVM_GETITEMTEXTW: {
      auto* it = reinterpret_cast<LVITEMW*>(l);
      if (!it || !it->pszText || it->cchTextMax <= 0) return 0;
      it->pszText[0] = 0;
      CString t = LvGetText(h, s, int(w), it->iSubItem, it->cchTextMax);
      std::copy(t.GetString(), t.GetString() + t.GetLength(), it->pszText);
      it->pszText[t.GetLength()] = 0;
      return t.GetLength();
    }
    case LVM_SETITEMTEXTW: {
      auto* it = reinterpret_cast<const LVITEMW*>(l);
      if (!it) return FALSE;
      LVITEMW set = *it;
      set.mask = LVIF_TEXT;
      set.iItem = int(w);
      return SetItem(h, s, &set);
    }
    case LVM_GETITEMSTATE: return LvGetState(h, s, int(w), UINT(l));
    case LVM_SETITEMSTATE: {
      auto* it = reinterpret_cast<const LVITEMW*>(l);
      return it && LvSetState(h, s, int(w), it->state, it->stateMask) ? TRUE : FALSE;
    }
    case LVM_GETNEXTITEM: return NextItem(h, s, int(w), UINT(l));
    case LVM_GETSELECTEDCOUNT: return LRESULT(std::min<int64_t>(s.selected.Count(), INT32_MAX));
    case LVM_GETSELECTIONMARK: return s.mark;
    case LVM_SETSELECTIONMARK: {
      const int old = s.mark;
      s.mark = ValidRow(s, int(l)) ? int(l) : -1;
      return old;
    }
    case LVM_GETCALLBACKMASK: return s.callbackMask;
    case LVM_SETCALLBACKMASK: s.callbackMask = UINT(w); return TRUE;
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return s.exStyle;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      const DWORD old = s.exStyle;
      const DWORD mask = w ? DWORD(w) : 0xFFFFFFFF;
      s.exStyle = (old & ~mask) | (DWORD(l) & mask);
      if (old != s.exStyle) {
        s.rowHeight = 0;
        LvLayout(h, s);
        InvalidateRect(h, nullptr, TRUE);
      }
      return old;
    }
    case LVM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(w == LVSIL_NORMAL ? s.normalImages : w == LVSIL_SMALL ? s.smallImages
                                                           : w == LVSIL_STATE ? s.stateImages
                                                                              : nullptr);
    case LVM_SETIMAGELIST: {
      HIMAGELIST* slot = w == LVSIL_NORMAL ? &s.normalImages : w == LVSIL_SMALL ? &s.smallImages
                                           : w == LVSIL_STATE ? &s.stateImages
                                                              : nullptr;
      if (!slot) return 0;
      HIMAGELIST old = *slot;
      *slot = reinterpret_cast<HIMAGELIST>(l);
      s.rowHeight = 0;
      LvLayout(h, s);
      InvalidateRect(h, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETBKCOLOR: return s.bkColor == CLR_DEFAULT ? GetSysColor(COLOR_WINDOW) : s.bkColor;
    case LVM_SETBKCOLOR: s.bkColor = COLORREF(l); InvalidateRect(h, nullptr, TRUE); return TRUE;
    case LVM_GETTEXTCOLOR: return s.textColor == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : s.textColor;
    case LVM_SETTEXTCOLOR: s.textColor = COLORREF(l); InvalidateRect(h, nullptr, FALSE); return TRUE;
    case LVM_GETTEXTBKCOLOR: return s.textBkColor;
    case LVM_SETTEXTBKCOLOR: s.textBkColor = COLORREF(l); InvalidateRect(h, nullptr, FALSE); return TRUE;

    case LVM_INSERTCOLUMNW: return InsertColumn(h, s, int(w), reinterpret_cast<const LVCOLUMNW*>(l));
    case LVM_DELETECOLUMN: return DeleteColumn(h, s, int(w));
    case LVM_GETCOLUMNW: return GetColumn(s, int(w), reinterpret_cast<LVCOLUMNW*>(l));
    case LVM_SETCOLUMNW: return SetColumn(h, s, int(w), reinterpret_cast<const LVCOLUMNW*>(l));
    case LVM_GETCOLUMNWIDTH:
      if (!LvIsReport(h)) return LvIconSpacing(s).cx;
      return int(w) >= 0 && size_t(w) < s.columns.size() ? s.columns[size_t(w)].width : 0;
    case LVM_SETCOLUMNWIDTH: {
      const int cx = int(int16_t(LOWORD(uintptr_t(l))));
      if (cx == LVSCW_AUTOSIZE || cx == LVSCW_AUTOSIZE_USEHEADER) return AutoSizeColumn(h, s, int(w), cx);
      return SetColumnWidthRaw(h, s, int(w), cx);
    }
    case LVM_GETHEADER: return reinterpret_cast<LRESULT>(s.header);
    case LVM_GETSTRINGWIDTHW: {
      auto* t = reinterpret_cast<const char16_t*>(l);
      return t ? TextWidth(s, CString(t)) : 0;
    }

    case LVM_GETITEMRECT: {
      auto* rc = reinterpret_cast<RECT*>(l);
      if (!rc) return FALSE;
      return LvItemRect(h, s, int(w), rc->left, rc) ? TRUE : FALSE;
    }
    case LVM_GETSUBITEMRECT: {
      auto* rc = reinterpret_cast<RECT*>(l);
      if (!rc) return FALSE;
      return LvSubItemRect(h, s, int(w), rc->top, rc->left, rc) ? TRUE : FALSE;
    }
    case LVM_HITTEST: return LvHitTest(h, s, reinterpret_cast<LVHITTESTINFO*>(l), false);
    case LVM_SUBITEMHITTEST: return LvHitTest(h, s, reinterpret_cast<LVHITTESTINFO*>(l), true);
    case LVM_GETITEMPOSITION: {
      auto* p = reinterpret_cast<POINT*>(l);
      RECT rc{};
      if (!p || !LvItemRect(h, s, int(w), LVIR_BOUNDS, &rc)) return FALSE;
      *p = POINT{rc.left, rc.top};
      return TRUE;
    }
    case LVM_ENSUREVISIBLE:
      if (!ValidRow(s, int(w))) return FALSE;
      LvEnsureVisible(h, s, int(w));
      return TRUE;
    case LVM_SCROLL: {
      const int dx = int(w), dy = int(l);
      if (LvIsReport(h)) {
        const int rh = std::max(1, LvRowHeight(h, s));
        LvScrollToRow(h, s, int64_t(s.topIndex) + dy / rh);
        LvScrollToX(h, s, s.scrollX + dx);
      } else {
        LvScrollToY(h, s, s.scrollY + dy);
      }
      return TRUE;
    }
    case LVM_GETTOPINDEX: {
      if (LvIsReport(h)) return LvCount(s) ? s.topIndex : 0;
      return LvVisibleRows(h, s).first;
    }
    case LVM_GETCOUNTPERPAGE: {
      if (LvIsReport(h)) return LvCountPerPage(h, s);
      const auto [a, b] = LvVisibleRows(h, s);
      return std::max(0, b - a);
    }
    case LVM_GETORIGIN: {
      auto* p = reinterpret_cast<POINT*>(l);
      if (!p) return FALSE;
      *p = LvIsReport(h) ? POINT{s.scrollX, 0} : POINT{0, s.scrollY};
      return !LvIsReport(h);
    }
    case LVM_GETVIEWRECT: {
      auto* rc = reinterpret_cast<RECT*>(l);
      if (!rc) return FALSE;
      if (LvIsReport(h)) {
        const int rh = std::max(1, LvRowHeight(h, s));
        *rc = RECT{-s.scrollX, LvRowTop(s, 0, rh), LvTotalWidth(s) - s.scrollX, LvRowTop(s, LvCount(s), rh)};
      } else {
        const SIZE sp = LvIconSpacing(s);
        const int cols = LvIconColumns(h, s);
        const int rows = (LvCount(s) + cols - 1) / cols;
        *rc = RECT{0, -s.scrollY, cols * sp.cx, rows * sp.cy - s.scrollY};
      }
      return TRUE;
    }
    case LVM_REDRAWITEMS: {
      const int a = std::max(0, int(w)), b = std::min(LvCount(s) - 1, int(l));
      const auto [vf, vt] = LvVisibleRows(h, s);
      for (int k = std::max(a, vf); k <= b && k < vt; ++k) LvInvalidateItem(h, s, k);
      return TRUE;
    }
    case LVM_UPDATE: LvInvalidateItem(h, s, int(w)); return TRUE;
    case LVM_ARRANGE: InvalidateRect(h, nullptr, TRUE); return TRUE;
    case LVM_GETITEMSPACING: {
      if (w) return MAKELRESULT(LvImageSize(s.smallImages).cx + 2 * 8, LvRowHeight(h, s));
      const SIZE sp = LvIconSpacing(s);
      return MAKELRESULT(sp.cx, sp.cy);
    }
    case LVM_SETICONSPACING: {
      const SIZE old = LvIconSpacing(s);
      const int cx = int(int16_t(LOWORD(uintptr_t(l)))), cy = int(int16_t(HIWORD(uintptr_t(l))));
      s.iconSpacing = SIZE{cx < 0 ? 0 : cx, cy < 0 ? 0 : cy};
      LvLayout(h, s);
      InvalidateRect(h, nullptr, TRUE);
      return MAKELRESULT(old.cx, old.cy);
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}
