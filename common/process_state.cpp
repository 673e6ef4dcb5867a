#include "process_state.h"

namespace velmora {

HINSTANCE g_moduleInstance = nullptr;
EncoderLibrary g_encoderLibrary;

} // namespace velmora
