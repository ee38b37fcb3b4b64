// Faults that ordinary input never reaches (a broken invariant, a C++
// exception escaping the core) are raised as the module's own exception type,
// derived from BaseException so that `except Exception` does not swallow them.
// No C++ exception ever crosses into the interpreter: every entry point runs
// its body through `guarded`.
#pragma once

#include <new>
#include <type_traits>

#include "python_shared/python_api.hpp"

namespace quorbel::module {

// Creates the exception type once; false with a Python error on failure.
bool ensure_internal_error_type();

// Sets the internal error with `message`; returns nullptr for tail calls.
PyObject* raise_internal_error(const char* message);

template <typename Result>
inline Result error_result() {
    if constexpr (std::is_pointer_v<Result>) {
        return nullptr;
    } else {
        return Result(-1);
    }
}

// Runs `body`, turning std::bad_alloc into MemoryError and any other C++
// exception into the internal error; the error value is nullptr or -1.
template <typename Body>
inline auto guarded(Body&& body) noexcept -> decltype(body()) {
    using Result = decltype(body());
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        raise_internal_error("unexpected C++ exception inside quorbel_torso_kinematics");
    }
    return error_result<Result>();
}

}  // namespace quorbel::module
