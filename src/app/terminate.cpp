// Keeps the program small. The C++ runtime's default handler for an uncaught
// exception prints the exception's type, which links a whole symbol
// demangler into the program; and the helpers that throw a container's
// length or range errors pull in the runtime's old string and exception
// code. The window catches every exception before it could reach the
// runtime, and no size here comes near a container's limit (files are read
// only after their size is checked against it), so aborting is all these
// would ever do for us. Running out of memory still throws std::bad_alloc.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
}  // namespace std
