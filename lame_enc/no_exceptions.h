// Every function this library exports has a C caller: no C++ exception (std::bad_alloc above all)
// may unwind into it. Each one that allocates runs its body through this and returns its
// documented failure instead.
#pragma once

namespace lame_enc {

template <typename Result, typename Body> Result withoutExceptions(Result failure, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

} // namespace lame_enc
