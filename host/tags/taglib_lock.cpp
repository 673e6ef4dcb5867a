#include "tags/taglib_lock.h"

namespace cvnhost {

std::unique_lock<std::mutex> lockTagLib() {
    static std::mutex tagLib;
    return std::unique_lock<std::mutex>(tagLib);
}

} // namespace cvnhost
