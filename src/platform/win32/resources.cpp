#include "platform/resources.h"

#include "platform/win32/windows_api.h"

namespace vx::platform {

namespace {

struct NameSearch {
  uint32_t type_id;
  const std::string* name;
  bool found = false;
};

BOOL CALLBACK CheckName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
  auto* search = reinterpret_cast<NameSearch*>(param);
  if (IS_INTRESOURCE(name)) return TRUE;  // a numbered resource never matches
  if (*search->name == name) {
    search->found = true;
    return FALSE;  // stop the walk
  }
  return TRUE;
}

BOOL CALLBACK CheckType(HMODULE module, LPSTR type, LONG_PTR param) {
  auto* search = reinterpret_cast<NameSearch*>(param);
  if (!IS_INTRESOURCE(type) || reinterpret_cast<uintptr_t>(type) != search->type_id) return TRUE;
  ::EnumResourceNamesA(module, type, CheckName, param);
  return search->found ? FALSE : TRUE;
}

}  // namespace

bool DataFileHasNamedResource(const std::string& path, uint32_t type_id, const std::string& name) {
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return false;
  NameSearch search{type_id, &name};
  ::EnumResourceTypesA(module, CheckType, reinterpret_cast<LONG_PTR>(&search));
  ::FreeLibrary(module);
  return search.found;
}

}  // namespace vx::platform
