// The platform layer's reading of compiled resources: any bytes as a .res image, and every
// dialog entry in it as a template. Nothing may read outside the image.
#include "platform/src/dialog_template.h"
#include "platform/src/module_resources.h"
#include "platform/src/resource_file.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input's size, so that AddressSanitizer sees any read past its end.
    const std::vector<unsigned char> image(data, data + size);
    for (const cvn::ResourceEntry& entry : cvn::parseResourceFile(image.data(), image.size())) {
        if (entry.type == cvn::kResourceTypeDialog) {
            cvn::parseDialogTemplate(entry.data, entry.size);
        }
    }
    cvn::parseDialogTemplate(image.data(), image.size());
    return 0;
}
