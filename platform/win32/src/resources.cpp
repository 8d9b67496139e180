// Modules and string resources. Linux modules carry no resources, so string
// tables are registered at run time.
#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

#include "win32/winrt.h"

namespace win32 {
namespace {

typedef std::basic_string<WCHAR> WideText;

struct Registry {
  std::mutex lock;
  std::map<HMODULE, std::map<UINT, WideText>> tables;
};

Registry& Strings() {
  static Registry registry;
  return registry;
}

// The handle of an already loaded object, without keeping a reference to it.
HMODULE LoadedHandle(const char* name) {
  void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle;
}

}  // namespace

HMODULE GetModuleHandleW(const WCHAR* name) {
  if (name == nullptr) return LoadedHandle(nullptr);
  const int size = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return nullptr;
  std::string narrow(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, name, -1, &narrow[0], size, nullptr, nullptr);
  narrow.pop_back();
  if (HMODULE handle = LoadedHandle(narrow.c_str())) return handle;
  // A name without extension is a library name, as "kernel32" is on Windows.
  if (narrow.find_first_of("./") == std::string::npos)
    return LoadedHandle(("lib" + narrow + ".so").c_str());
  return nullptr;
}

int LoadStringW(HINSTANCE module, UINT id, WCHAR* buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax < 0) return 0;
  if (module == nullptr) module = GetModuleHandleW(nullptr);
  Registry& registry = Strings();
  std::lock_guard<std::mutex> guard(registry.lock);
  const WideText* text = nullptr;
  auto table = registry.tables.find(module);
  if (table != registry.tables.end()) {
    auto entry = table->second.find(id);
    if (entry != table->second.end()) text = &entry->second;
  }
  if (bufferMax == 0) {
    if (text == nullptr) return 0;
    *reinterpret_cast<const WCHAR**>(buffer) = text->c_str();
    return static_cast<int>(text->size());
  }
  size_t n = text == nullptr ? 0 : text->size();
  if (n > size_t(bufferMax) - 1) n = size_t(bufferMax) - 1;
  if (n > 0) text->copy(buffer, n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

bool RegisterStringTable(HMODULE module, const StringResource* table, int count) {
  if (table == nullptr || count < 0) return false;
  if (module == nullptr) module = GetModuleHandleW(nullptr);
  Registry& registry = Strings();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto& strings = registry.tables[module];
  for (int i = 0; i < count; ++i) {
    // Resource ids are 16 bits; an empty string is no resource.
    if (table[i].id > 0xFFFF || table[i].text == nullptr || table[i].text[0] == 0) continue;
    strings[table[i].id] = table[i].text;
  }
  return true;
}

void UnregisterStringTable(HMODULE module) {
  if (module == nullptr) module = GetModuleHandleW(nullptr);
  Registry& registry = Strings();
  std::lock_guard<std::mutex> guard(registry.lock);
  registry.tables.erase(module);
}

}  // namespace win32
