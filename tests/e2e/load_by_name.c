/* Loads a library by its bare name, as a careless program does, and calls
   one of its functions: load_by_name LIBRARY FUNCTION. Exits with 0 when
   both were found. */
#include <windows.h>

typedef BOOL(WINAPI* AnyFunction)(void*, void*, void*, void*);

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HMODULE library = LoadLibraryA(argv[1]);
  if (library == NULL) return 3;
  /* Every stand-in function takes at most four arguments and reads none. */
  AnyFunction function = (AnyFunction)(void (*)(void))GetProcAddress(library, argv[2]);
  if (function == NULL) return 4;
  function(NULL, NULL, NULL, NULL);
  return 0;
}
