// The header frame of a finished file. The plug-in has the encoder library write it (a VBR header)
// only with VBR on; for a constant-bitrate file cvnhost asks the library itself for its Info
// frame, which names the encoder delay and padding that gapless players trim. One rule, the
// plug-in's (cvn::plugInWritesHeaderFrame), decides which of the two writes it.
#pragma once

#include "lame_enc_interface.hpp"

#include <cstdint>
#include <string>

namespace cvnhost {

class HeaderFrames {
  public:
    // The beWriteVBRHeader of the encoder library that the bound plug-in has loaded.
    static HeaderFrames ofBoundLibrary();

    // Has the header frame of the closed file at `path`, encoded with the stored VBR value `vbr`,
    // completed where the plug-in did not. False when the library could not.
    bool complete(const std::string& path, uint32_t vbr) const;

  private:
    BE_WriteVBRHeaderFunction write_ = nullptr;
};

} // namespace cvnhost
