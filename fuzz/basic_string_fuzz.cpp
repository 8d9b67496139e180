// Drives CBasicString through a byte stream of operations on a few strings
// and checks every result against a std::u16string model of the same text.
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

Text Widen(const std::string& ascii) {
  return Text(ascii.begin(), ascii.end());
}

// What a zero-terminated pointer to the text reads.
Text UpToNul(const Text& t) {
  return t.substr(0, t.find(char16_t(0)));
}

bool Valid(const Text& t, int i) {
  return i >= 0 && size_t(i) < t.size();
}

void Same(const CBasicString& s, const Text& model) {
  const WCHAR* wide = s.GetWideString();
  Check(s.GetLength() == int(model.size()) && wide != nullptr, "length differs from the model");
  Check(std::memcmp(wide, model.data(), (model.size() + 1) * sizeof(WCHAR)) == 0,
        "text differs from the model, or is not terminated");
}

void Run(fuzz::Input& in) {
  CBasicString s[kSlots];
  Text m[kSlots];
  int a = 0, b = 0;
  // An operation on string a (x) and its model (mx); b names a second slot.
  auto op = [&](auto f) { return std::function<void()>([&, f] { f(s[a], m[a]); }); };
  auto anyUnit = [&] { return in.Flag() ? kAlphabet[in.Byte() & 0x0F] : WCHAR(in.Unit()); };
  auto found = [](size_t at) { return at == Text::npos ? -1 : int(at); };
  fuzz::Interpret(
      "basic string fuzz", in,
      [&] {
        a = in.Byte() % kSlots, b = in.Byte() % kSlots;
        if (m[a].size() > kMaxModel || m[b].size() > kMaxModel) s[a].Empty(), m[a].clear();
      },
      {op([&](CBasicString& x, Text& mx) {
         // Assigned or appended, by operator or member: another string (this
         // one when a is b), its wide pointer, new wide text or a null pointer.
         const int from = in.Byte() % 4;
         const bool append = in.Flag(), call = in.Flag();
         const Text t = from == 0   ? m[b]
                        : from == 1 ? UpToNul(m[b])
                        : from == 2 ? MakeText(in)
                                    : Text();
         const WCHAR* p = from == 1 ? s[b].GetWideString() : from == 2 ? t.c_str() : nullptr;
         if (from == 0 && !append && call)
           Check(x.Assign(s[b]) == (a != b), "Assign reports a self-assignment wrongly");
         else if (from == 0 && !append)
           x = s[b];
         else if (!append)
           x = p;
         else if (call)
           Check((from == 0 ? x.Append(s[b]) : x.Append(p)) == !t.empty(),
                 "Append answers wrongly");
         else if (from == 0)
           x += s[b];
         else
           x += p;
         mx = append ? mx + t : t;
       }),
       op([&](CBasicString& x, Text& mx) {
         // Appending ASCII text (its narrow form is the same units), whole or a range.
         std::string t;
         for (char16_t c : MakeText(in)) t.push_back(c & 0x7F ? char(c & 0x7F) : 'a');
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
       op([&](CBasicString& x, Text& mx) {  // the comparisons, with a string and a pointer
         const Text& y = m[b];
         const WCHAR* p = s[b].GetWideString();
         Check((x == s[b]) == (mx == y) && (x != s[b]) == (mx != y) && (x < s[b]) == (mx < y) &&
                   (x > s[b]) == (mx > y),
               "a comparison of strings differs from the model");
         Check((x == p) == (mx == UpToNul(y)) && (x < p) == (mx < UpToNul(y)) &&
                   (x > p) == (mx > UpToNul(y)),
               "a comparison with a pointer differs from the model");
       }),
       op([&](CBasicString& x, Text& mx) {
         const int start = in.Index(int(mx.size()));
         Check(x.Find(s[b], start) == (Valid(mx, start) ? found(mx.find(m[b], size_t(start))) : -1),
               "Find differs");
       }),
       op([&](CBasicString& x, Text& mx) {  // ReverseFind: from the end when start is 0
         const WCHAR c = anyUnit();
         const int start = in.Index(int(mx.size()));
         const int first = start == 0 ? int(mx.size()) - 1 : start;
         Check(
             x.ReverseFind(c, start) == (Valid(mx, first) ? found(mx.rfind(c, size_t(first))) : -1),
             "ReverseFind differs");
       }),
       op([&](CBasicString& x, Text& mx) {  // MakeUpper, MakeLower
         const bool upper = in.Flag();
         Check((upper ? x.MakeUpper() : x.MakeLower()) == !mx.empty(), "case mapping answers");
         for (char16_t& c : mx) c = upper ? win32::towupper(c) : win32::towlower(c);
       }),
       op([&](CBasicString& x, Text& mx) {  // reading and writing one unit
         const int i = in.Index(int(mx.size()));
         Check(
             x.GetAt(i) == (Valid(mx, i) ? mx[size_t(i)] : 0) && x.IsValidIndex(i) == Valid(mx, i),
             "GetAt or IsValidIndex differs from the model");
         Check(x.GetFirst() == (mx.empty() ? 0 : mx.front()) &&
                   x.GetLast() == (mx.empty() ? 0 : mx.back()),
               "GetFirst or GetLast differs");
         const WCHAR c = WCHAR(in.Unit());  // may be 0: the text then holds a NUL
         Check(x.SetAt(i, c) == Valid(mx, i), "SetAt answers wrongly");
         if (Valid(mx, i)) mx[size_t(i)] = c;
       }),
       op([&](CBasicString& x, Text& mx) {  // Mid: to the end when last is -1
         const int first = in.Index(int(mx.size()));
         const int last = in.Flag() ? -1 : in.Index(int(mx.size()));
         const int end = last == -1 ? int(mx.size()) - 1 : last;
         const bool any = Valid(mx, first) && Valid(mx, end) && first <= end;
         Same(x.Mid(first, last), any ? mx.substr(size_t(first), size_t(end - first) + 1) : Text());
       }),
       op([&](CBasicString& x, Text& mx) {  // Delete, Truncate
         const int i = in.Index(int(mx.size()));
         const bool valid = Valid(mx, i), del = in.Flag();
         Check((del ? x.Delete(i) : x.Truncate(i)) == valid, "Delete or Truncate answers wrongly");
         if (valid) del ? void(mx.erase(size_t(i), 1)) : mx.resize(size_t(i));
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
         size_t done = 0;
         for (size_t at = mx.find(what); !what.empty() && at != Text::npos;
              at = mx.find(what, done)) {
           expect.append(mx, done, at - done).append(with);
           if (expect.size() > kMaxModel) return;  // too long a result to try
           done = at + what.size();
         }
         const bool any = done > 0;
         Check(x.Replace(s[b], self ? x : withString) == any, "Replace answers wrongly");
         if (any) mx = expect.append(mx, done, Text::npos);
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
         // %s takes a wide string (this string's own when a is b); a result
         // that does not fit changes nothing.
         const int number = int(in.Unit()) - 32768;
         const Text expect = Widen(std::to_string(number) + ":") + UpToNul(m[b]);
         const bool changed = x.Format(u"%d:%s", number, s[b].GetWideString());
         Check(changed == (expect.size() < 4096), "Format answers wrongly");
         if (changed) mx = expect;
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
         Check(narrow != nullptr && CBasicString(narrow) == made && copy == made,
               "the narrow form does not convert back, or changed the text");
         Check(made.GetLength() || bytes.empty(), "convertible bytes gave an empty string");
         x = made;
         mx.assign(made.GetWideString(), size_t(made.GetLength()));
         // The string takes its own narrow copy, assigned or appended.
         if (in.Flag()) {
           x = x.GetMultiByte();
         } else {
           Check(x.Append(x.GetMultiByte()) == !mx.empty(), "Append of its own narrow copy");
           mx += Text(mx);
         }
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
