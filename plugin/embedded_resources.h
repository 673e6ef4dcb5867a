// The compiled resource script (.res) built into the Linux shared object; generated at build time.
#pragma once

#include <cstddef>

extern const unsigned char kEmbeddedResources[];
extern const size_t kEmbeddedResourcesSize;
