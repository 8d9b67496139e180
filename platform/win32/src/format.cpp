// The secure wide formatter, with the Windows meaning of %s, %S, %c and %C.
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <vector>

#include "win32/winrt.h"

namespace win32 {
namespace {

struct Output {
  WCHAR* buffer;
  size_t count;  // units available, the terminator included
  size_t length = 0;
  bool full = false;

  size_t Room() const { return count - 1 - length; }
  void Put(WCHAR c) {
    if (length + 1 < count) buffer[length++] = c;
    else full = true;
  }
  void Pad(size_t n) {
    if (n > Room()) full = true;
    else while (n-- > 0) buffer[length++] = u' ';
  }
};

// va_list wrapped so that helpers can take it by reference.
struct Args {
  va_list list;
};

enum class Length { None, hh, h, l, ll, L, z, j, t };

struct Field {
  bool left = false;
  int width = 0;
  int precision = -1;
  Length length = Length::None;
  char flags[8] = {};  // the flags as written, for snprintf
};

// Numbers are formatted in the "C" locale whatever the process has set.
class CLocale {
public:
  CLocale() : m_previous(uselocale(Get())) {}
  ~CLocale() { uselocale(m_previous); }

private:
  static locale_t Get() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return c != locale_t(0) ? c : LC_GLOBAL_LOCALE;
  }
  locale_t m_previous;
};

// Writes ASCII text, right-aligned in width unless left.
void PutAscii(Output& out, const char* text, size_t n, const Field& field) {
  const size_t pad = field.width > 0 && size_t(field.width) > n ? field.width - n : 0;
  if (!field.left) out.Pad(pad);
  if (n > out.Room()) out.full = true;
  for (size_t i = 0; i < n && !out.full; ++i) out.Put(static_cast<unsigned char>(text[i]));
  if (field.left) out.Pad(pad);
}

// Formats one number through snprintf with a "%<flags>*.*<length><conv>" field.
template <typename T>
bool PutNumber(Output& out, const Field& field, const char* length, char conversion, T value) {
  char format[24];
  std::snprintf(format, sizeof format, "%%%s*.*%s%c", field.flags, length, conversion);
  char local[128];
  CLocale c;
  const int n = std::snprintf(local, sizeof local, format, field.width, field.precision, value);
  if (n < 0) return false;
  if (size_t(n) > out.Room()) {
    out.full = true;
  } else if (size_t(n) < sizeof local) {
    PutAscii(out, local, n, Field());
  } else {
    std::vector<char> big(size_t(n) + 1);
    std::snprintf(big.data(), big.size(), format, field.width, field.precision, value);
    PutAscii(out, big.data(), n, Field());
  }
  return true;
}

void PutWide(Output& out, const WCHAR* text, const Field& field) {
  if (text == nullptr) text = u"(null)";
  size_t n = 0;
  while ((field.precision < 0 || n < size_t(field.precision)) && text[n] != 0) ++n;
  const size_t pad = field.width > 0 && size_t(field.width) > n ? field.width - n : 0;
  if (!field.left) out.Pad(pad);
  if (n > out.Room()) out.full = true;
  else for (size_t i = 0; i < n; ++i) out.Put(text[i]);
  if (field.left) out.Pad(pad);
}

// A narrow text goes through the ANSI code page; the precision counts bytes.
void PutNarrow(Output& out, const char* text, const Field& field) {
  if (text == nullptr) text = "(null)";
  size_t n = 0;
  while ((field.precision < 0 || n < size_t(field.precision)) && text[n] != 0) ++n;
  if (n > INT_MAX) {
    out.full = true;
    return;
  }
  const int units = n == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text, int(n), nullptr, 0);
  const size_t pad = field.width > 0 && field.width > units ? field.width - units : 0;
  if (!field.left) out.Pad(pad);
  if (size_t(units) > out.Room()) {
    out.full = true;
  } else if (units > 0) {
    out.length += MultiByteToWideChar(CP_ACP, 0, text, int(n), out.buffer + out.length, units);
  }
  if (field.left) out.Pad(pad);
}

bool PutSigned(Output& out, const Field& field, char conversion, Args& args) {
  long long v;
  switch (field.length) {
    case Length::None: v = va_arg(args.list, int); break;
    case Length::hh: v = static_cast<signed char>(va_arg(args.list, int)); break;
    case Length::h: v = static_cast<short>(va_arg(args.list, int)); break;
    case Length::l: v = va_arg(args.list, long); break;
    case Length::ll: v = va_arg(args.list, long long); break;
    case Length::z: v = static_cast<long long>(va_arg(args.list, size_t)); break;
    case Length::j: v = va_arg(args.list, intmax_t); break;
    case Length::t: v = va_arg(args.list, ptrdiff_t); break;
    default: return false;
  }
  return PutNumber(out, field, "ll", conversion, v);
}

bool PutUnsigned(Output& out, const Field& field, char conversion, Args& args) {
  unsigned long long v;
  switch (field.length) {
    case Length::None: v = va_arg(args.list, unsigned); break;
    case Length::hh: v = static_cast<unsigned char>(va_arg(args.list, unsigned)); break;
    case Length::h: v = static_cast<unsigned short>(va_arg(args.list, unsigned)); break;
    case Length::l: v = va_arg(args.list, unsigned long); break;
    case Length::ll: v = va_arg(args.list, unsigned long long); break;
    case Length::z: v = va_arg(args.list, size_t); break;
    case Length::j: v = va_arg(args.list, uintmax_t); break;
    case Length::t: v = static_cast<unsigned long long>(va_arg(args.list, ptrdiff_t)); break;
    default: return false;
  }
  return PutNumber(out, field, "ll", conversion, v);
}

// Reads "*" or digits; a negative "*" width means left alignment.
int ReadCount(const WCHAR*& f, Args& args) {
  if (*f == u'*') {
    ++f;
    return va_arg(args.list, int);
  }
  long long n = 0;
  while (*f >= u'0' && *f <= u'9') {
    n = n * 10 + (*f++ - u'0');
    if (n > INT_MAX) n = INT_MAX;
  }
  return static_cast<int>(n);
}

Length ReadLength(const WCHAR*& f, bool& wide, bool& narrow) {
  switch (*f) {
    case u'h':
      narrow = true;
      return *++f == u'h' ? (++f, Length::hh) : Length::h;
    case u'l':
      wide = true;
      return *++f == u'l' ? (++f, Length::ll) : Length::l;
    case u'w':
      ++f;
      wide = true;
      return Length::l;
    case u'L': ++f; return Length::L;
    case u'z': ++f; return Length::z;
    case u'j': ++f; return Length::j;
    case u't': ++f; return Length::t;
    case u'I':
      ++f;
      if (f[0] == u'6' && f[1] == u'4') {
        f += 2;
        return Length::ll;
      }
      if (f[0] == u'3' && f[1] == u'2') {
        f += 2;
        return Length::None;
      }
      return Length::z;
    default: return Length::None;
  }
}

// Formats one conversion after its '%'. False for an invalid one.
bool Convert(Output& out, const WCHAR*& f, Args& args) {
  Field field;
  size_t flags = 0;
  for (;; ++f) {
    if (*f == u'-') field.left = true;
    else if (*f != u'+' && *f != u' ' && *f != u'#' && *f != u'0') break;
    if (flags < sizeof field.flags - 1) field.flags[flags++] = static_cast<char>(*f);
  }
  field.width = ReadCount(f, args);
  if (field.width < 0) {
    field.left = true;
    if (flags < sizeof field.flags - 1) field.flags[flags++] = '-';
    field.width = field.width == INT_MIN ? INT_MAX : -field.width;
  }
  if (*f == u'.') {
    ++f;
    field.precision = ReadCount(f, args);
    if (field.precision < 0) field.precision = -1;
  }
  bool wide = false, narrow = false;
  field.length = ReadLength(f, wide, narrow);
  const WCHAR conversion = *f;
  if (conversion == 0) return false;  // the format ends inside the conversion
  ++f;
  switch (conversion) {
    case u'd':
    case u'i':
      return PutSigned(out, field, 'd', args);
    case u'u':
    case u'o':
    case u'x':
    case u'X':
      return PutUnsigned(out, field, static_cast<char>(conversion), args);
    case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
      if (field.length == Length::L)
        return PutNumber(out, field, "L", static_cast<char>(conversion), va_arg(args.list, long double));
      return PutNumber(out, field, "", static_cast<char>(conversion), va_arg(args.list, double));
    case u'p': {
      char digits[2 * sizeof(void*) + 1];
      std::snprintf(digits, sizeof digits, "%0*" PRIXPTR, int(2 * sizeof(void*)),
                    reinterpret_cast<uintptr_t>(va_arg(args.list, void*)));
      PutAscii(out, digits, std::strlen(digits), field);
      return true;
    }
    case u'c':
    case u'C': {
      WCHAR c = static_cast<WCHAR>(va_arg(args.list, int));
      if (narrow || (conversion == u'C' && !wide)) {
        const char byte = static_cast<char>(c);
        MultiByteToWideChar(CP_ACP, 0, &byte, 1, &c, 1);
      }
      const size_t pad = field.width > 1 ? field.width - 1 : 0;
      if (!field.left) out.Pad(pad);
      out.Put(c);
      if (field.left) out.Pad(pad);
      return true;
    }
    case u's':
    case u'S':
      if (narrow || (conversion == u'S' && !wide)) PutNarrow(out, va_arg(args.list, const char*), field);
      else PutWide(out, va_arg(args.list, const WCHAR*), field);
      return true;
    default:  // %n, a missing conversion and anything unknown
      return false;
  }
}

}  // namespace

int vswprintf_s(WCHAR* buffer, size_t count, const WCHAR* format, va_list list) {
  if (buffer == nullptr || count == 0) return -1;
  if (count > size_t(INT_MAX) + 1) count = size_t(INT_MAX) + 1;
  buffer[0] = 0;
  if (format == nullptr) return -1;
  Output out{buffer, count};
  Args args;
  va_copy(args.list, list);
  bool valid = true;
  for (const WCHAR* f = format; valid && !out.full && *f != 0;) {
    if (*f != u'%') {
      out.Put(*f++);
    } else if (f[1] == u'%') {
      out.Put(u'%');
      f += 2;
    } else {
      ++f;
      valid = Convert(out, f, args);
    }
  }
  va_end(args.list);
  if (!valid || out.full) {
    buffer[0] = 0;
    return -1;
  }
  buffer[out.length] = 0;
  return static_cast<int>(out.length);
}

}  // namespace win32
