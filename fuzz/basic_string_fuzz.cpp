// Drives CBasicString through a byte stream of operations on a few strings
// and checks every result against a std::u16string model of the same text.
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "granite/CBasicString.h"
#include "win32/winrt.h"

namespace {

typedef std::u16string Text;

const int kSlots = 4;
const size_t kMaxModel = 1 << 15;  // keeps self-appends from growing without end

// Units that make searches, case mapping and trimming meet: letters in both
// cases, white space, non-ASCII letters whose case maps change, surrogates.
const char16_t kAlphabet[] = {u'a',   u'A',   u'b',   u'B',   u' ',   u'\t',  u'.',   u'/',
                              0x00C4, 0x00E4, 0x0130, 0x0131, 0x2028, 0x3000, 0xD83D, 0xDE00};

using fuzz::Check;

// A text without NUL units (wide pointers end at the first one).
Text MakeText(fuzz::Input& in) {
  Text text;
  uint8_t b = in.Byte();
  size_t length = (b & 0x80) ? size_t(b & 0x7F) * 40 : b & 0x1F;
  for (size_t i = 0; i < length && in.More(); ++i) {
    uint8_t c = in.Byte();
    char16_t unit = (c & 0x80) ? char16_t((c & 0x7F) << 8 | in.Byte()) : kAlphabet[c & 0x0F];
    text.push_back(unit != 0 ? unit : u'z');
  }
  if (b & 0x80 && !text.empty())  // long texts repeat what was read
    while (text.size() < length) text += text.substr(0, length - text.size());
  return text;
}

// ASCII text, whose narrow form is the same units.
std::string MakeAscii(fuzz::Input& in) {
  std::string text;
  size_t length = in.Byte() & 0x1F;
  for (size_t i = 0; i < length; ++i) {
    char c = static_cast<char>(in.Byte() & 0x7F);
    text.push_back(c != 0 ? c : 'a');
  }
  return text;
}

Text Widen(const std::string& ascii) {
  return Text(ascii.begin(), ascii.end());
}

// What a zero-terminated pointer to the text reads.
Text UpToNul(const Text& t) {
  return t.substr(0, t.find(char16_t(0)));
}

int Sign(int v) {
  return (v > 0) - (v < 0);
}

uint32_t Crc(const Text& text) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char16_t unit : text)
    for (int half = 0; half < 2; ++half) {
      crc ^= (half ? unit >> 8 : unit) & 0xFF;
      for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
  return ~crc;
}

bool Valid(const Text& t, int i) {
  return i >= 0 && size_t(i) < t.size();
}

void Same(const CBasicString& s, const Text& model) {
  Check(s.GetLength() == int(model.size()), "length differs from the model");
  const WCHAR* wide = s.GetWideString();
  Check(wide != nullptr, "no wide string");
  Check(std::memcmp(wide, model.data(), model.size() * sizeof(WCHAR)) == 0,
        "text differs from the model");
  Check(wide[model.size()] == 0, "text is not terminated");
}

// The model of _wcsicmp: towlower unit by unit, up to the first NUL.
int CompareNoCase(const Text& a, const Text& b) {
  const char16_t* p = a.c_str();
  const char16_t* q = b.c_str();
  for (;; ++p, ++q) {
    int x = win32::towlower(*p), y = win32::towlower(*q);
    if (x != y) return x - y;
    if (x == 0) return 0;
  }
}

void Run(fuzz::Input& in) {
  CBasicString s[kSlots];
  Text m[kSlots];
  int a = 0, b = 0;
  // An operation on string a (x) and its model (mx); b names a second slot.
  auto op = [&](auto f) { return std::function<void()>([&, f] { f(s[a], m[a]); }); };
  auto anyUnit = [&] { return in.Flag() ? kAlphabet[in.Byte() & 0x0F] : WCHAR(in.Unit()); };
  fuzz::Interpret(
      "basic string fuzz", in,
      [&] {
        a = in.Byte() % kSlots, b = in.Byte() % kSlots;
        if (m[a].size() > kMaxModel || m[b].size() > kMaxModel) s[a].Empty(), m[a].clear();
      },
      {op([&](CBasicString& x, Text& mx) {  // assignment of wide or narrow text
         if (in.Flag()) {
           mx = MakeText(in);
           x = mx.c_str();
         } else {
           std::string t = MakeAscii(in);
           x = t.c_str();
           mx = Widen(t);
         }
       }),
       op([&](CBasicString& x, Text& mx) {  // of another string, or of itself
         if (in.Flag())
           x = s[b];
         else
           Check(x.Assign(s[b]) == (a != b), "Assign reports a self-assignment wrongly");
         mx = Text(m[b]);
       }),
       op([&](CBasicString& x, Text& mx) {  // appending another string, or itself
         const Text before = m[b];
         if (in.Flag())
           x += s[b];
         else
           Check(x.Append(s[b]) == !before.empty(), "Append of a string answers wrongly");
         mx += before;
       }),
       op([&](CBasicString& x, Text& mx) {  // appending wide text, or a string's own pointer
         const Text t = in.Flag() ? UpToNul(m[b]) : MakeText(in);
         const WCHAR* p = t == UpToNul(m[b]) ? s[b].GetWideString() : t.c_str();
         if (in.Flag())
           x += p;
         else
           Check(x.Append(p) == !t.empty(), "Append of a wide pointer answers wrongly");
         mx += t;
       }),
       op([&](CBasicString& x, Text& mx) {  // appending narrow text, whole or a range
         const std::string t = MakeAscii(in);
         const size_t cut = t.empty() ? 0 : in.Byte() % (t.size() + 1);
         const char* begin = t.c_str();
         if (in.Flag()) {
           Check(x.Append(begin) == !t.empty(), "Append of narrow text answers wrongly");
           mx += Widen(t);
           return;
         }
         Check(x.Append(begin, begin + cut) == (cut > 0), "Append of a range answers wrongly");
         mx += Widen(t.substr(0, cut));
         Check(!x.Append(begin + cut, begin + cut / 2), "Append of a reversed range succeeds");
         Check(!x.Append(nullptr, begin), "Append of a null bound succeeds");
       }),
       op([&](CBasicString& x, Text& mx) {  // the sums
         Same(x + s[b], mx + m[b]);
         const std::string t = MakeAscii(in);
         Same(x + t.c_str(), mx + Widen(t));
         const Text w = MakeText(in);
         Same(x + w.c_str(), mx + w);
         Same(x + static_cast<const WCHAR*>(nullptr), mx);
         Same(x + static_cast<const char*>(nullptr), mx);
       }),
       op([&](CBasicString& x, Text& mx) {  // the comparisons
         const Text& y = m[b];
         const WCHAR* p = s[b].GetWideString();
         Check((x == s[b]) == (mx == y) && (x != s[b]) == (mx != y) && (x < s[b]) == (mx < y) &&
                   (x > s[b]) == (mx > y),
               "a comparison of strings differs from the model");
         Check((x == p) == (mx == UpToNul(y)) && (x < p) == (mx < UpToNul(y)) &&
                   (x > p) == (mx > UpToNul(y)),
               "a comparison with a pointer differs from the model");
         Check((x == static_cast<const WCHAR*>(nullptr)) == mx.empty(), "== of null differs");
         Check(Sign(x.CompareNoCase(s[b])) == Sign(CompareNoCase(mx, y)),
               "CompareNoCase differs from the model");
       }),
       op([&](CBasicString& x, Text& mx) {  // Find
         const int start = in.Index(int(mx.size()));
         const size_t at = Valid(mx, start) ? mx.find(m[b], size_t(start)) : Text::npos;
         Check(x.Find(s[b], start) == (at == Text::npos ? -1 : int(at)), "Find differs");
       }),
       op([&](CBasicString& x, Text& mx) {  // ReverseFind: from the end when start is 0
         const WCHAR c = anyUnit();
         const int start = in.Index(int(mx.size()));
         const int first = start == 0 ? int(mx.size()) - 1 : start;
         const size_t at = Valid(mx, first) ? mx.rfind(c, size_t(first)) : Text::npos;
         Check(x.ReverseFind(c, start) == (at == Text::npos ? -1 : int(at)), "ReverseFind differs");
       }),
       op([&](CBasicString& x, Text& mx) {  // MakeUpper, MakeLower
         const bool upper = in.Flag();
         Check((upper ? x.MakeUpper() : x.MakeLower()) == !mx.empty(), "case mapping answers");
         for (char16_t& c : mx) c = upper ? win32::towupper(c) : win32::towlower(c);
       }),
       op([&](CBasicString& x, Text& mx) {
         Check(uint32_t(x.GetHashValue()) == (mx.empty() ? 0 : Crc(mx)),
               "the hash is not the CRC-32 of the text");
       }),
       op([&](CBasicString& x, Text& mx) {  // reading and writing one unit
         const int i = in.Index(int(mx.size()));
         Check(x.GetAt(i) == (Valid(mx, i) ? mx[size_t(i)] : 0), "GetAt differs from the model");
         Check(x.IsValidIndex(i) == Valid(mx, i), "IsValidIndex differs from the model");
         Check(x.GetFirst() == (mx.empty() ? 0 : mx.front()), "GetFirst differs");
         Check(x.GetLast() == (mx.empty() ? 0 : mx.back()), "GetLast differs");
         const WCHAR c = WCHAR(in.Unit());  // may be 0: the text then holds a NUL
         Check(x.SetAt(i, c) == Valid(mx, i), "SetAt answers wrongly");
         if (Valid(mx, i)) mx[size_t(i)] = c;
       }),
       op([&](CBasicString& x, Text& mx) {  // Mid: to the end when last is -1
         const int first = in.Index(int(mx.size()));
         const int last = in.Flag() ? -1 : in.Index(int(mx.size()));
         const int end = last == -1 ? int(mx.size()) - 1 : last;
         Text expect;
         if (Valid(mx, first) && Valid(mx, end) && first <= end)
           expect = mx.substr(size_t(first), size_t(end - first) + 1);
         Same(x.Mid(first, last), expect);
       }),
       op([&](CBasicString& x, Text& mx) {  // Delete, Truncate
         const int i = in.Index(int(mx.size()));
         if (in.Flag()) {
           Check(x.Delete(i) == Valid(mx, i), "Delete answers wrongly");
           if (Valid(mx, i)) mx.erase(size_t(i), 1);
         } else {
           Check(x.Truncate(i) == Valid(mx, i), "Truncate answers wrongly");
           if (Valid(mx, i)) mx.resize(size_t(i));
         }
       }),
       op([&](CBasicString& x, Text& mx) {
         // Replace every occurrence of slot b's text with a new text (or with
         // this string itself).
         const Text what = m[b];
         Text with = MakeText(in);
         const bool self = in.Flag();
         CBasicString withString(with.c_str());
         if (self) with = mx;
         Text expect;
         bool any = false;
         if (!what.empty()) {
           size_t done = 0;
           for (size_t at = mx.find(what); at != Text::npos; at = mx.find(what, done)) {
             expect.append(mx, done, at - done).append(with);
             done = at + what.size();
             any = true;
           }
           expect.append(mx, done, Text::npos);
         }
         Check(x.Replace(s[b], self ? x : withString) == any, "Replace answers wrongly");
         if (any) mx = expect;
       }),
       op([&](CBasicString& x, Text& mx) {  // TrimLeft, TrimRight
         size_t first = 0, end = mx.size();
         while (first < mx.size() && win32::iswspace(mx[first])) ++first;
         while (end > 0 && win32::iswspace(mx[end - 1])) --end;
         if (in.Flag()) {
           Check(x.TrimLeft() == (first > 0), "TrimLeft answers wrongly");
           mx.erase(0, first);
         } else {
           Check(x.TrimRight() == (end < mx.size()), "TrimRight answers wrongly");
           mx.resize(end);
         }
       }),
       op([&](CBasicString& x, Text& mx) {
         Check(x.Empty() == !mx.empty(), "Empty answers wrongly");
         mx.clear();
       }),
       op([&](CBasicString& x, Text& mx) {
         // %s takes a wide string; a result that does not fit changes nothing.
         const Text arg = UpToNul(m[b]);
         const bool changed = x.Format(u"%s", s[b].GetWideString());
         Check(changed == (arg.size() < 4096 && !arg.empty()), "Format answers wrongly");
         if (changed) mx = arg;
         Check(!x.Format(nullptr), "Format of a null format succeeds");
       }),
       op([&](CBasicString& x, Text& mx) {
         const int number = int(in.Unit()) - 32768;
         const std::string t = MakeAscii(in);
         Check(x.Format(u"%d:%S", number, t.c_str()), "Format of a number fails");
         mx = Widen(std::to_string(number) + ":" + t);
       }),
       op([&](CBasicString& x, Text& mx) {
         // Narrow text and back: a string made from arbitrary bytes survives a
         // round trip through the code page.
         std::string bytes;
         for (size_t i = in.Byte() & 0x1F; i > 0; --i) {
           const char c = char(in.Byte());
           bytes.push_back(c != 0 ? c : '\x80');
         }
         CBasicString made(bytes.c_str());
         CBasicString copy(made);
         const char* narrow = copy.GetMultiByte();
         Check(narrow != nullptr, "a converted text has no narrow form");
         Check(CBasicString(narrow) == made, "the narrow form does not convert back");
         Check(copy == made, "GetMultiByte changed the text");
         Check(made.GetLength() || bytes.empty(), "convertible bytes gave an empty string");
         x = made;
         mx.assign(made.GetWideString(), size_t(made.GetLength()));
       }),
       op([&](CBasicString& x, Text& mx) {
         // The narrow form of ASCII text is that text; the string takes its
         // own narrow copy, assigned or appended.
         bool ascii = true;
         for (char16_t c : mx) ascii = ascii && c > 0 && c < 0x80;
         if (!ascii) return;
         const char* narrow = x.GetMultiByte();
         Check(narrow != nullptr && std::string(narrow) == std::string(mx.begin(), mx.end()),
               "the narrow form of ASCII text differs");
         if (in.Flag()) {
           x = x.GetMultiByte();
         } else {
           Check(x.Append(x.GetMultiByte()) == !mx.empty(), "Append of its own narrow copy");
           mx += Text(mx);
         }
       }),
       op([&](CBasicString& x, Text& mx) {  // the constructors
         CBasicString copy(s[b]);
         Same(copy, m[b]);
         Same(CBasicString(&s[b]), m[b]);
         Same(CBasicString(static_cast<const CBasicString*>(nullptr)), Text());
         Same(CBasicString(static_cast<const char*>(nullptr)), Text());
         Same(CBasicString(static_cast<const WCHAR*>(nullptr)), Text());
         const WCHAR c = WCHAR(in.Unit());
         Same(CBasicString(c), Text(1, c));
         const char n = static_cast<char>(in.Byte() & 0x7F);
         Same(CBasicString(n), Text(1, char16_t(n)));
         x = copy;
         mx = m[b];
       }),
       op([&](CBasicString& x, Text& mx) {
         // The string's own text assigned or appended through its pointer.
         const Text own = UpToNul(mx);
         if (in.Flag()) {
           x = x.GetWideString();
           mx = own;
         } else {
           x += x.GetWideString();
           mx += own;
         }
       }),
       op([&](CBasicString& x, Text&) {
         Check(!x.LoadString(int(in.Byte()) - 255), "LoadString of an id below 1 succeeds");
       })},
      [&] {
        Same(s[a], m[a]);
        Same(s[b], m[b]);
      });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Run(in);
  return 0;
}
