// Runtime glue linked into the program itself (not into the tests).
//
// The static C++ runtime reports misuse of its containers through the
// std::__throw_* functions, whose library versions build std::string-based
// exception objects and drag about 100 KB of string and locale code into an
// exe that otherwise uses none of it. The program catches every error at
// its window procedures and its entry, so these raise its own Exception
// instead; out of memory stays std::bad_alloc.
#include <cstdlib>
#include <new>

#include "System.h"

namespace __gnu_cxx {
// The default handler prints a demangled type name to a console this GUI
// program does not have; the demangler alone is 40 KB.
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_length_error(const char*) { throw std::bad_alloc(); }
void __throw_logic_error(const char*) { throw Exception(L"Invalid operation"); }
void __throw_invalid_argument(const char*) { throw Exception(L"Invalid argument"); }
void __throw_out_of_range(const char*) { throw Exception(L"Index out of range"); }
void __throw_out_of_range_fmt(const char*, ...) { throw Exception(L"Index out of range"); }
void __throw_bad_function_call() { throw Exception(L"Invalid operation"); }
}  // namespace std
