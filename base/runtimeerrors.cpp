// How the shipped binaries end on a C++ runtime error that nothing catches (a container grown past
// its maximum, a terminate). The library's own versions do the same in the end, but its terminate
// handler first demangles the exception's type name and its throw helpers build exception objects
// with a string class and formatting of their own: in a static link that is over 100 KB of code that
// only ever runs on the way out. No code of ours catches std::exception, so ending at once with the
// reason on standard error loses nothing. Linked into dialpass.cpl and Update.exe only; the tests
// and tools keep the library's reporting.
#include <bits/functexcept.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

[[noreturn]] void Fail(const char* what)
{
    fputs("dialpass: ", stderr);
    fputs(what ? what : "runtime error", stderr);
    fputs("\n", stderr);
    abort();
}

} // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    Fail("terminate called");
}
} // namespace __gnu_cxx

namespace std {
void __throw_bad_exception() { Fail("bad exception"); }
void __throw_bad_alloc() { Fail("out of memory"); }
void __throw_bad_array_new_length() { Fail("bad array length"); }
void __throw_bad_cast() { Fail("bad cast"); }
void __throw_bad_typeid() { Fail("bad typeid"); }
void __throw_logic_error(const char* what) { Fail(what); }
void __throw_domain_error(const char* what) { Fail(what); }
void __throw_invalid_argument(const char* what) { Fail(what); }
void __throw_length_error(const char* what) { Fail(what); }
void __throw_out_of_range(const char* what) { Fail(what); }
// The format's arguments are left out: the message is only the reason.
void __throw_out_of_range_fmt(const char* format, ...) { Fail(format); }
void __throw_runtime_error(const char* what) { Fail(what); }
void __throw_range_error(const char* what) { Fail(what); }
void __throw_overflow_error(const char* what) { Fail(what); }
void __throw_underflow_error(const char* what) { Fail(what); }
} // namespace std
