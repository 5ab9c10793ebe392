// Linked into each program itself. An uncaught failure (out of memory while a list grows)
// ends the process at once. The library's own handler would print the exception's
// demangled type to a console that these GUI programs do not have, and it brings a
// 45 KiB demangler into every program.
#include <cstdlib>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {

void __verbose_terminate_handler()
{
    std::abort();
}

}  // namespace __gnu_cxx
#endif
