// TagLib 1.x fills some of its tables (the ID3v2 frame names, the involved-people keys, the file
// types it knows) on their first use without a lock, and two threads that read or write tags at
// that moment lose or corrupt entries. Every use of TagLib in cvnhost holds this lock: tags are a
// sliver of a track's work, so tracks taking turns for them costs nothing measurable.
#pragma once

#include <mutex>

namespace cvnhost {

std::unique_lock<std::mutex> lockTagLib();

} // namespace cvnhost
