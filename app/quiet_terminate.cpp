// What an uncaught exception does in the shipped program. libstdc++'s default handler prints the
// exception's demangled type name to the standard error stream before aborting; a GUI program has
// no such stream, and the demangler alone is about a twelfth of the executable. This handler
// aborts at once, as the default one does after printing.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
