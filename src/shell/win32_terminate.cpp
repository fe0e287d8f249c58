// The runtime's default terminate handler prints the exception's demangled
// type to stderr before it aborts; linked in statically, its demangler and
// printf bring some 75 KB into the DLL. A plug-in in a windowed messenger has
// no stderr, and no exception leaves a handler (GuardedHandler), so this
// definition, found before the runtime's, only aborts as that one does.
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
