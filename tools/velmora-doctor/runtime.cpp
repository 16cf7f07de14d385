// The C++ runtime's failure paths, each ending the process at once.  The doctor is built
// without exceptions, yet std::string's code in the static runtime still reaches the
// runtime's throwing, unwinding and name-demangling code (over 140 KiB of the exe) for
// what it never meets but an allocation that fails or a length past max_size(): both end
// the process here as they did there (abort), without the message that names the type
// thrown.  The catch and unwinding entry points run only once something was thrown,
// which nothing can be now.
#include <stdlib.h>

// The runtime's own names, defined here in its place: reserved, and in namespace std.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp,cert-dcl50-cpp)
namespace __gnu_cxx {
void __verbose_terminate_handler() { abort(); }
}

namespace std {
void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char *) { abort(); }
void __throw_logic_error(const char *) { abort(); }
void __throw_out_of_range_fmt(const char *, ...) { abort(); }
}

void *operator new(size_t size)
{
    void *p = malloc(size != 0 ? size : 1);
    if (p == NULL)
        abort();
    return p;
}
void operator delete(void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }

extern "C" {
void *__cxa_begin_catch(void *) { abort(); }
void __cxa_end_catch() { abort(); }
void __cxa_rethrow() { abort(); }
int __gxx_personality_v0() { abort(); }
void _Unwind_Resume(void *) { abort(); }
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp,cert-dcl50-cpp)
