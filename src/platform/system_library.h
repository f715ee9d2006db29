// Libraries of the operating system that the program needs only now and then
// (the help viewer, the version-resource reader, the process-status
// functions) are loaded at run time, by their full path in the system
// directory. A downloaded installer usually sits in a folder full of other
// downloads; a library looked up by its bare name would be taken from there
// first, and its code would run inside the program.
#pragma once

#include <string>

namespace vx::platform {

// A loaded system library; nullptr for none.
using SystemLibrary = void*;
// What SystemLibraryExport returns: cast it to the export's own type.
using SystemLibraryFunction = void (*)();

// Loads `name` ("version.dll", "hhctrl.ocx") from the system directory only.
// A name that is not a bare file name is refused. nullptr when the library is
// not there, cannot be loaded, or (on Linux) always. The library stays loaded
// for the rest of the process.
SystemLibrary LoadSystemLibrary(const std::string& name);

// The export `name` of a loaded library; nullptr when it has none.
SystemLibraryFunction SystemLibraryExport(SystemLibrary library, const char* name);

// Called first thing at start-up: takes the current directory out of the
// search for libraries loaded by name, and where the system can (Windows 8,
// and 7 and Vista with their loader update; not XP) limits that search to
// the system directory, for the libraries that system components load on
// the program's behalf as well. Nothing to do on Linux.
void RestrictLibrarySearch();

}  // namespace vx::platform
