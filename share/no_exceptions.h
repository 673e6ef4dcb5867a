// Every function a library of this project exports has a C caller: no C++ exception
// (std::bad_alloc above all) may unwind into it. Each one that allocates runs its body through
// this and returns its documented failure instead. The platform layer and the encoder library
// for Linux use it.
#pragma once

namespace share {

template <typename Result, typename Body> Result withoutExceptions(Result failure, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

} // namespace share
