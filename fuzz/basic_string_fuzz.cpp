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
const char16_t kAlphabet[] = {u'a', u'A', u'b', u'B', u' ', u'\t', u'.', u'/',
                              0x00C4, 0x00E4, 0x0130, 0x0131, 0x2028, 0x3000, 0xD83D, 0xDE00};

int step = 0;

void Check(bool ok, const char* what) {
  if (!ok) fuzz::Fail("basic string fuzz", what, step);
}

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

Text Widen(const std::string& ascii) { return Text(ascii.begin(), ascii.end()); }

// What a zero-terminated pointer to the text reads.
Text UpToNul(const Text& t) { return t.substr(0, t.find(char16_t(0))); }

int Sign(int v) { return (v > 0) - (v < 0); }

uint32_t Crc(const Text& text) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char16_t unit : text)
    for (int half = 0; half < 2; ++half) {
      crc ^= (half ? unit >> 8 : unit) & 0xFF;
      for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
  return ~crc;
}

bool Valid(const Text& t, int i) { return i >= 0 && size_t(i) < t.size(); }

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
  for (step = 0; in.More(); ++step) {
    const uint8_t op = in.Byte();
    const int a = in.Byte() % kSlots, b = in.Byte() % kSlots;
    CBasicString& x = s[a];
    Text& mx = m[a];
    if (m[a].size() > kMaxModel || m[b].size() > kMaxModel) {
      x.Empty();
      mx.clear();
    }
    switch (op % 40) {
      case 0: {
        Text t = MakeText(in);
        x = t.c_str();
        mx = t;
        break;
      }
      case 1: {
        std::string t = MakeAscii(in);
        x = t.c_str();
        mx = Widen(t);
        break;
      }
      case 2:
        x = s[b];  // a == b assigns to itself
        mx = m[b];
        break;
      case 3:
        Check(x.Assign(s[b]) == (a != b), "Assign reports a self-assignment wrongly");
        mx = m[b];
        break;
      case 4:
        x += s[b];
        mx += Text(m[b]);
        break;
      case 5: {
        Text t = MakeText(in);
        x += t.c_str();
        mx += t;
        break;
      }
      case 6: {
        Text before = m[b];
        Check(x.Append(s[b]) == !before.empty(), "Append of a string answers wrongly");
        mx += before;
        break;
      }
      case 7: {
        // Appends a string's own text through its pointer.
        Text own = UpToNul(m[b]);
        const WCHAR* p = s[b].GetWideString();
        Check(x.Append(p) == !own.empty(), "Append of a wide pointer answers wrongly");
        mx += own;
        break;
      }
      case 8: {
        std::string t = MakeAscii(in);
        Check(x.Append(t.c_str()) == !t.empty(), "Append of narrow text answers wrongly");
        mx += Widen(t);
        break;
      }
      case 9: {
        std::string t = MakeAscii(in);
        size_t cut = t.empty() ? 0 : in.Byte() % (t.size() + 1);
        const char* begin = t.c_str();
        bool expect = cut > 0;
        Check(x.Append(begin, begin + cut) == expect, "Append of a range answers wrongly");
        mx += Widen(t.substr(0, cut));
        Check(!x.Append(begin + cut, begin + cut / 2), "Append of a reversed range succeeds");
        Check(!x.Append(nullptr, begin), "Append of a null bound succeeds");
        break;
      }
      case 10: {
        CBasicString sum = x + s[b];
        Same(sum, mx + m[b]);
        std::string t = MakeAscii(in);
        Same(x + t.c_str(), mx + Widen(t));
        Text w = MakeText(in);
        Same(x + w.c_str(), mx + w);
        Same(x + static_cast<const WCHAR*>(nullptr), mx);
        Same(x + static_cast<const char*>(nullptr), mx);
        break;
      }
      case 11:
        Check((x == s[b]) == (mx == m[b]), "== differs from the model");
        Check((x != s[b]) == (mx != m[b]), "!= differs from the model");
        Check((x < s[b]) == (mx < m[b]), "< differs from the model");
        Check((x > s[b]) == (mx > m[b]), "> differs from the model");
        Check((x == s[b].GetWideString()) == (mx == UpToNul(m[b])), "== of a pointer differs");
        Check((x < s[b].GetWideString()) == (mx < UpToNul(m[b])), "< of a pointer differs");
        Check((x > s[b].GetWideString()) == (mx > UpToNul(m[b])), "> of a pointer differs");
        Check((x == static_cast<const WCHAR*>(nullptr)) == mx.empty(), "== of null differs");
        break;
      case 12: {
        int start = in.Index(int(mx.size()));
        int found = x.Find(s[b], start);
        int expect = -1;
        if (Valid(mx, start)) {
          size_t at = mx.find(m[b], size_t(start));
          expect = at == Text::npos ? -1 : int(at);
        }
        Check(found == expect, "Find differs from the model");
        break;
      }
      case 13: {
        WCHAR c = in.Flag() ? kAlphabet[in.Byte() & 0x0F] : WCHAR(in.Unit());
        int start = in.Index(int(mx.size()));
        int first = start == 0 ? int(mx.size()) - 1 : start;
        int expect = -1;
        if (Valid(mx, first)) {
          size_t at = mx.rfind(c, size_t(first));
          expect = at == Text::npos ? -1 : int(at);
        }
        Check(x.ReverseFind(c, start) == expect, "ReverseFind differs from the model");
        break;
      }
      case 14:
      case 15: {
        bool upper = op % 40 == 15;
        Check((upper ? x.MakeUpper() : x.MakeLower()) == !mx.empty(), "case mapping answers");
        for (char16_t& c : mx) c = upper ? win32::towupper(c) : win32::towlower(c);
        break;
      }
      case 16: {
        uint32_t expect = mx.empty() ? 0 : Crc(mx);
        Check(uint32_t(x.GetHashValue()) == expect, "the hash is not the CRC-32 of the text");
        break;
      }
      case 17:
        Check(Sign(x.CompareNoCase(s[b])) == Sign(CompareNoCase(mx, m[b])),
              "CompareNoCase differs from the model");
        break;
      case 18: {
        int i = in.Index(int(mx.size()));
        char16_t expect = Valid(mx, i) ? mx[size_t(i)] : 0;
        Check(x.GetAt(i) == expect, "GetAt differs from the model");
        Check(x.IsValidIndex(i) == Valid(mx, i), "IsValidIndex differs from the model");
        Check(x.GetFirst() == (mx.empty() ? 0 : mx.front()), "GetFirst differs");
        Check(x.GetLast() == (mx.empty() ? 0 : mx.back()), "GetLast differs");
        break;
      }
      case 19: {
        int i = in.Index(int(mx.size()));
        WCHAR c = WCHAR(in.Unit());  // may be 0: the text then holds a NUL
        Check(x.SetAt(i, c) == Valid(mx, i), "SetAt answers wrongly");
        if (Valid(mx, i)) mx[size_t(i)] = c;
        break;
      }
      case 20: {
        int first = in.Index(int(mx.size())), last = in.Index(int(mx.size()));
        if (in.Flag()) last = -1;
        int end = last == -1 ? int(mx.size()) - 1 : last;
        Text expect;
        if (Valid(mx, first) && Valid(mx, end) && first <= end)
          expect = mx.substr(size_t(first), size_t(end - first) + 1);
        Same(x.Mid(first, last), expect);
        break;
      }
      case 21: {
        int i = in.Index(int(mx.size()));
        Check(x.Delete(i) == Valid(mx, i), "Delete answers wrongly");
        if (Valid(mx, i)) mx.erase(size_t(i), 1);
        break;
      }
      case 22: {
        // Replace every occurrence of slot b's text with a new text (or with
        // this string itself).
        Text what = m[b];
        Text with = MakeText(in);
        bool self = in.Flag();
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
        break;
      }
      case 23: {
        size_t n = 0;
        while (n < mx.size() && win32::iswspace(mx[n])) ++n;
        Check(x.TrimLeft() == (n > 0), "TrimLeft answers wrongly");
        mx.erase(0, n);
        break;
      }
      case 24: {
        size_t n = mx.size();
        while (n > 0 && win32::iswspace(mx[n - 1])) --n;
        Check(x.TrimRight() == (n < mx.size()), "TrimRight answers wrongly");
        mx.resize(n);
        break;
      }
      case 25: {
        int n = in.Index(int(mx.size()));
        Check(x.Truncate(n) == Valid(mx, n), "Truncate answers wrongly");
        if (Valid(mx, n)) mx.resize(size_t(n));
        break;
      }
      case 26:
        Check(x.Empty() == !mx.empty(), "Empty answers wrongly");
        mx.clear();
        break;
      case 27: {
        // %s takes a wide string; a result that does not fit changes nothing.
        Text arg = UpToNul(m[b]);
        bool fits = arg.size() < 4096;
        bool changed = x.Format(u"%s", s[b].GetWideString());
        Check(changed == (fits && !arg.empty()), "Format answers wrongly");
        if (changed) mx = arg;
        Check(!x.Format(nullptr), "Format of a null format succeeds");
        break;
      }
      case 28: {
        int number = int(in.Unit()) - 32768;
        std::string t = MakeAscii(in);
        Check(x.Format(u"%d:%S", number, t.c_str()), "Format of a number fails");
        mx = Widen(std::to_string(number) + ":" + t);
        break;
      }
      case 29: {
        // Narrow text and back: a string made from arbitrary bytes survives a
        // round trip through the code page.
        std::string bytes;
        size_t length = in.Byte() & 0x1F;
        for (size_t i = 0; i < length; ++i) {
          char c = char(in.Byte());
          bytes.push_back(c != 0 ? c : '\x80');
        }
        CBasicString made(bytes.c_str());
        CBasicString copy(made);
        const char* narrow = copy.GetMultiByte();
        Check(narrow != nullptr, "a converted text has no narrow form");
        Check(CBasicString(narrow) == made, "the narrow form does not convert back");
        Check(copy == made, "GetMultiByte changed the text");
        if (!made.GetLength()) Check(bytes.empty(), "convertible bytes gave an empty string");
        x = made;
        mx.assign(made.GetWideString(), size_t(made.GetLength()));
        break;
      }
      case 30: {
        // The narrow form of the model's text, when it is ASCII, is that text.
        bool ascii = true;
        for (char16_t c : mx) ascii = ascii && c > 0 && c < 0x80;
        const char* narrow = x.GetMultiByte();
        if (ascii) {
          Check(narrow != nullptr && std::string(narrow) == std::string(mx.begin(), mx.end()),
                "the narrow form of ASCII text differs");
          // Assigning and appending the string's own narrow copy.
          if (in.Flag()) {
            x = x.GetMultiByte();
          } else {
            bool expect = !mx.empty();
            Check(x.Append(x.GetMultiByte()) == expect, "Append of its own narrow copy");
            mx += Text(mx);
          }
        }
        break;
      }
      case 31: {
        CBasicString copy(s[b]);
        Same(copy, m[b]);
        CBasicString pointer(&s[b]);
        Same(pointer, m[b]);
        Same(CBasicString(static_cast<const CBasicString*>(nullptr)), Text());
        Same(CBasicString(static_cast<const char*>(nullptr)), Text());
        Same(CBasicString(static_cast<const WCHAR*>(nullptr)), Text());
        x = copy;
        mx = m[b];
        break;
      }
      case 32: {
        WCHAR c = WCHAR(in.Unit());
        x = CBasicString(c);
        mx = Text(1, c);
        break;
      }
      case 33: {
        char c = static_cast<char>(in.Byte() & 0x7F);
        x = CBasicString(c);
        mx = Text(1, char16_t(c));
        break;
      }
      case 34:
        // The string's own text assigned and appended through its pointer.
        x = x.GetWideString();
        mx = UpToNul(mx);
        break;
      case 35: {
        Text own = UpToNul(mx);
        x += x.GetWideString();
        mx += own;
        break;
      }
      case 36:
        Check(!x.LoadString(int(in.Byte()) - 255), "LoadString of an id below 1 succeeds");
        break;
      default:
        break;
    }
    Same(x, mx);
    Same(s[b], m[b]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Run(in);
  return 0;
}
